#include "Platform.h"

#include <cstdlib>

#include "PathUtils.h"
#include "ProcessText.h"
#include "Registry.h"
#include "SystemCalls.h"

namespace {

std::string Environment(const wchar_t* name)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? FromWide(buffer, int(n)) : std::string();
}

}  // namespace

TMachine NativeMachine()
{
    auto played = SystemCalls().NativeMachine;
    return played ? played() : ProbeNativeMachine();
}

bool AdminRights()
{
    auto played = SystemCalls().AdminRights;
    return played ? played() : HasAdminRights();
}

TMachine ProbeNativeMachine()
{
    using TIsWow64Process2 = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto probe = kernel ? reinterpret_cast<TIsWow64Process2>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")))
                        : nullptr;
    USHORT process = 0, native = 0;
    if (probe && probe(GetCurrentProcess(), &process, &native)) {
        if (native == 0xAA64) return TMachine::Arm64;  // IMAGE_FILE_MACHINE_ARM64
        if (native == 0x8664) return TMachine::X64;    // IMAGE_FILE_MACHINE_AMD64
        if (native == 0x014C) return TMachine::X86;    // IMAGE_FILE_MACHINE_I386
    }
    return IsWow64() ? TMachine::X64 : TMachine::X86;
}

const char* MachineName(TMachine machine)
{
    switch (machine) {
    case TMachine::X86: return "x86";
    case TMachine::X64: return "x64";
    case TMachine::Arm64: return "ARM64";
    }
    return "x86";
}

std::vector<std::string> UserPreferredLanguages()
{
    // The tags are ASCII: each wide character is taken as it is.
    auto ascii = [](const wchar_t* text) {
        std::string tag;
        for (; *text; ++text) tag += char(*text < 128 ? *text : '?');
        return tag;
    };
    std::vector<std::string> tags;
    ULONG count = 0, size = 0;
    if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) && size > 0) {
        std::vector<wchar_t> names(size);
        if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &size))
            for (const wchar_t* name = names.data(); *name; name += wcslen(name) + 1) tags.push_back(ascii(name));
    }
    if (tags.empty()) {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        if (LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) > 0)
            tags.push_back(ascii(name));
    }
    return tags;
}

bool IsWow64()
{
    TIsWow64Process isWow64Process = SystemCalls().FindIsWow64Process();
    if (!isWow64Process) return false;
    BOOL wow64 = FALSE;
    return isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string GetProgramFiles64Folder(TShellFolder folder)
{
    if (folder != sfProgramFiles && folder != sfCommonFiles) return GetSpecialFolder(folder);
    std::string path = Environment(folder == sfProgramFiles ? L"ProgramW6432" : L"CommonProgramW6432");
    if (!path.empty()) return path;
    return folder == sfProgramFiles ? "C:\\Program Files" : "C:\\Program Files\\Common Files";
}

bool HasAdminRights()
{
    std::string base = ExcludeDelimiter(GetProgramFilesFolder());
    for (int n = 0;; ++n) {
        std::string trial = base + "\\Test" + std::to_string(n);
        if (CreateDirectoryA(trial.c_str(), nullptr)) {
            RemoveDirectoryA(trial.c_str());
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    return registry.OpenKey("SOFTWARE", true);
}
