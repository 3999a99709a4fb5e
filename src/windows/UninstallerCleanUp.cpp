#include "UninstallerCleanUp.h"

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdlib>

#include "FileSystem.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "ProgramFile.h"
#include "TextUtils.h"
#include "WinHandle.h"

const char* const CleanUpSwitch = "/CLEANUP";

namespace {

// Full control for the system and the administrators, nothing for anybody
// else, and nothing inherited from the parent folder.
const char AdminOnly[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// One argument as CommandLineToArgvW reads it back: quoted, with the
// backslashes before the closing quote doubled.
std::string Quoted(const std::string& argument)
{
    size_t backslashes = 0;
    while (backslashes < argument.size() && argument[argument.size() - 1 - backslashes] == '\\') ++backslashes;
    return "\"" + argument + std::string(backslashes, '\\') + "\"";
}

std::string SystemFolder()
{
    char buffer[MAX_PATH + 1] = {};
    UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    return length == 0 || length > MAX_PATH ? std::string() : IncludeDelimiter(std::string(buffer, length));
}

std::string TemporaryFolderOfWindows()
{
    char buffer[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    return length == 0 || length > MAX_PATH ? std::string() : IncludeDelimiter(std::string(buffer, length)) + "Temp\\";
}

// Removes the file and the folders once Windows next starts; for when no
// clean-up can run now.
void RemoveAtRestart(const std::string& programPath, const std::vector<std::string>& folders)
{
    MoveFileExA(programPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    for (const std::string& folder : folders)
        MoveFileExA(ExcludeDelimiter(folder).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool DeleteWhenFree(const std::string& path)
{
    // A virus scanner or an Explorer window may hold the file a moment longer.
    for (int attempt = 0; attempt < 50; ++attempt) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileA(path.c_str()) || !FileExists(path)) return true;
        Sleep(200);
    }
    return false;
}

}  // namespace

std::vector<std::string> CommandLineArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(FromWide(words[i]));
    LocalFree(words);
    return arguments;
}

std::string CreateAdminOnlyFolder(const std::string& parent, const std::string& prefix)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(AdminOnly, SDDL_REVISION_1, &descriptor, nullptr))
        return std::string();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    std::string made;
    // A name that is taken may be somebody's trap: only a folder this call
    // creates is used.
    unsigned seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 100 && made.empty(); ++attempt) {
        char name[32];
        wsprintfA(name, "%lX-%X", GetCurrentProcessId(), seed + unsigned(attempt) * 7919u);
        std::string folder = IncludeDelimiter(parent) + prefix + name;
        if (CreateDirectoryA(folder.c_str(), &attributes))
            made = IncludeDelimiter(folder);
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    LocalFree(descriptor);
    return made;
}

std::string StartUninstallerCleanUp(const std::string& cleaner, const std::string& programPath,
                                    const std::vector<std::string>& folders, HANDLE waitFor)
{
    std::string folder;
    std::string temporary = TemporaryFolderOfWindows();
    if (!temporary.empty()) folder = CreateAdminOnlyFolder(temporary, "Uninstall-");
    std::string copy = folder + ExtractFileName(cleaner);
    if (folder.empty() || !CopyFileA(cleaner.c_str(), copy.c_str(), TRUE)) {
        if (!folder.empty()) RemoveDirectoryA(folder.c_str());
        RemoveAtRestart(programPath, folders);
        return std::string();
    }
    // The copy goes when its last handle closes: this one, inherited by the
    // clean-up, closes when the clean-up ends. Should that fail, the folder
    // and the copy go when Windows next starts.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    TFileHandle self(CreateFileA(copy.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited,
                                 OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    RemoveAtRestart(copy, {folder});
    HANDLE inheritable = nullptr;
    DuplicateHandle(GetCurrentProcess(), waitFor, GetCurrentProcess(), &inheritable, SYNCHRONIZE, TRUE, 0);
    TKernelHandle waited(inheritable);

    std::string commandLine = Quoted(copy) + " " + CleanUpSwitch + " " +
                              std::to_string(reinterpret_cast<uintptr_t>(inheritable)) + " " + Quoted(programPath);
    for (const std::string& f : folders) commandLine += " " + Quoted(ExcludeDelimiter(f));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!inheritable || !CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                    nullptr, folder.c_str(), &startup, &info)) {
        self.Reset();
        RemoveDirectoryA(folder.c_str());
        RemoveAtRestart(programPath, folders);
        return std::string();
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    // This process may not hold the uninstaller's folder as its working
    // folder, nor the clean-up's.
    SetCurrentDirectoryA(temporary.c_str());
    return folder;
}

int RunUninstallerCleanUp(const std::vector<std::string>& arguments)
{
    // Only a copy in a clean-up folder of its own does any of this: the
    // program started by hand with the switch from anywhere else removes
    // nothing (its folder least of all).
    std::string folder = ExcludeDelimiter(ExtractFilePath(ModuleFileName()));
    std::string temporary = TemporaryFolderOfWindows();
    if (temporary.empty() || !SameTextAscii(ExtractFilePath(folder), temporary) ||
        ExtractFileName(folder).compare(0, 10, "Uninstall-") != 0)
        return 2;
    if (arguments.size() < 2) return 2;
    char* end = nullptr;
    uintptr_t value = std::strtoul(arguments[0].c_str(), &end, 10);
    if (!end || *end) return 2;
    TKernelHandle uninstaller(reinterpret_cast<HANDLE>(value));
    // Waits without a time limit: the uninstaller ends when its last message
    // is closed, however long that stays open.
    if (WaitForSingleObject(uninstaller.Get(), INFINITE) == WAIT_FAILED) return 2;
    int exitCode = DeleteWhenFree(arguments[1]) ? 0 : 1;
    for (size_t i = 2; i < arguments.size(); ++i) {
        // Only an empty folder goes: whatever somebody put there since stays.
        if (!RemoveDirectoryA(arguments[i].c_str()) && DirectoryExists(arguments[i])) exitCode = 1;
    }

    // This copy goes when it ends (the handle its starter left it); its folder
    // goes a moment later, through the system's own command processor with
    // the whole command in hand: no AutoRun (/d), no program searched for.
    std::string system = SystemFolder();
    if (system.empty()) return exitCode;
    std::string command = system + "cmd.exe";
    std::string commandLine = Quoted(command) + " /d /q /c \"" + Quoted(system + "ping.exe") +
                              " -n 3 127.0.0.1 >nul & rd /s /q " + Quoted(folder) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    SetCurrentDirectoryA(system.c_str());
    if (CreateProcessA(command.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       system.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    return exitCode;
}
