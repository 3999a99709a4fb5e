#include "ShellFolders.h"

#include <shlobj.h>
#include <windows.h>

#include "Registry.h"
#include "SystemCalls.h"

std::string ShellSpecialFolder(int csidl)
{
    std::string result;
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator))) return result;
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &items))) {
        char path[MAX_PATH + 1] = {};
        if (SHGetPathFromIDListA(items, path)) result = path;
        allocator->Free(items);
    }
    allocator->Release();
    return result;
}

int ShellFolderCsidl(TShellFolder folder)
{
    static const int csidl[] = {CSIDL_BITBUCKET, CSIDL_DESKTOPDIRECTORY, CSIDL_NETHOOD,  CSIDL_PERSONAL,
                                CSIDL_PROGRAMS,  CSIDL_RECENT,           CSIDL_SENDTO,   CSIDL_STARTMENU,
                                CSIDL_STARTUP,   CSIDL_TEMPLATES,        CSIDL_APPDATA,  CSIDL_PROGRAM_FILES,
                                CSIDL_PROGRAM_FILES_COMMON, CSIDL_COMMON_DESKTOPDIRECTORY,
                                CSIDL_LOCAL_APPDATA};
    return csidl[folder];
}

std::string GetSpecialFolder(TShellFolder folder)
{
    auto lookup = SystemCalls().SpecialFolder;
    return lookup ? lookup(ShellFolderCsidl(folder)) : ShellSpecialFolder(ShellFolderCsidl(folder));
}

std::string GetSpecialFolderOrRegistry(TShellFolder folder, const std::string& valueName, const std::string& fallback)
{
    std::string result = GetSpecialFolder(folder);
    if (!result.empty()) return result;
    result = fallback;
    try {
        TRegistry registry(KEY_READ);
        registry.RootKey = HKEY_LOCAL_MACHINE;
        if (registry.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion", false))
            result = registry.ReadString(valueName);
    } catch (const Exception&) {
    }
    return result;
}

std::string GetProgramFilesFolder()
{
    return GetSpecialFolderOrRegistry(sfProgramFiles, "ProgramFilesDir", "C:\\Program Files");
}

std::string GetCommonFilesFolder()
{
    return GetSpecialFolderOrRegistry(sfCommonFiles, "CommonFilesDir", "C:\\Program Files\\Common Files");
}

std::string GetDocumentsFolder()
{
    std::string result = GetSpecialFolder(sfPersonal);
    return result.empty() ? "C:\\My Documents" : result;
}

std::string GetAppDataFolder()
{
    std::string result = GetSpecialFolder(sfAppData);
    return result.empty() ? GetProgramFilesFolder() : result;
}

std::string GetLocalAppDataFolder()
{
    std::string result = GetSpecialFolder(sfLocalAppData);
    if (!result.empty()) return result;
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::string(buffer, length) : GetAppDataFolder();
}
