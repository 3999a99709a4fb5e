#include "FileHolders.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "ProcessText.h"
#include "SystemCalls.h"

namespace {

// rstrtmgr.dll's declarations, loaded when first asked: the program links
// no DLL that some Windows lacks.
constexpr DWORD SessionKeyLength = 32 + 1;
constexpr DWORD AppNameLength = 255 + 1, ServiceNameLength = 63 + 1;
struct TRmUniqueProcess {
    DWORD ProcessId;
    FILETIME StartTime;
};
struct TRmProcessInfo {
    TRmUniqueProcess Process;
    WCHAR AppName[AppNameLength];
    WCHAR ServiceShortName[ServiceNameLength];
    DWORD ApplicationType;
    ULONG AppStatus;
    DWORD TSSessionId;
    BOOL Restartable;
};
using TRmStartSession = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using TRmEndSession = DWORD(WINAPI*)(DWORD);
using TRmRegisterResources = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, TRmUniqueProcess*, UINT, LPCWSTR*);
using TRmGetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, TRmProcessInfo*, DWORD*);

}  // namespace


std::vector<std::string> ProgramsHolding(const std::string& path)
{
    auto played = SystemCalls().Holders;
    return played ? played(path) : RestartManagerHolders(path);
}

std::vector<std::string> RestartManagerHolders(const std::string& path)
{
    // From the system folder by its full path: a DLL of that name beside the
    // installer (in a downloads folder, say) is never the one loaded.
    static HMODULE library = [] {
        char system[MAX_PATH] = {};
        UINT length = GetSystemDirectoryA(system, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return HMODULE(nullptr);
        return LoadLibraryA((std::string(system, length) + "\\rstrtmgr.dll").c_str());
    }();
    if (!library) return {};
    auto start = reinterpret_cast<TRmStartSession>(reinterpret_cast<void*>(GetProcAddress(library, "RmStartSession")));
    auto end = reinterpret_cast<TRmEndSession>(reinterpret_cast<void*>(GetProcAddress(library, "RmEndSession")));
    auto registerFiles = reinterpret_cast<TRmRegisterResources>(reinterpret_cast<void*>(GetProcAddress(library, "RmRegisterResources")));
    auto getList = reinterpret_cast<TRmGetList>(reinterpret_cast<void*>(GetProcAddress(library, "RmGetList")));
    if (!start || !end || !registerFiles || !getList) return {};
    DWORD session = 0;
    WCHAR key[SessionKeyLength] = {};
    if (start(&session, 0, key) != ERROR_SUCCESS) return {};
    std::vector<std::string> names;
    TWideText wide = ToWide(path);
    LPCWSTR files[] = {wide.data()};
    if (registerFiles(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        // Asked twice at most: the list may grow between the count and the fill.
        for (int attempt = 0; attempt < 2; ++attempt) {
            UINT needed = 0, count = 0;
            DWORD reasons = 0;
            DWORD result = getList(session, &needed, &count, nullptr, &reasons);
            if (result != ERROR_MORE_DATA || needed == 0) break;
            std::vector<TRmProcessInfo> found(needed);
            count = needed;
            result = getList(session, &needed, &count, found.data(), &reasons);
            if (result == ERROR_MORE_DATA) continue;
            if (result != ERROR_SUCCESS) break;
            for (UINT i = 0; i < count && i < found.size(); ++i) {
                found[i].AppName[AppNameLength - 1] = L'\0';
                std::string name = FromWide(found[i].AppName);
                if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
            }
            break;
        }
    }
    end(session);
    return names;
}
