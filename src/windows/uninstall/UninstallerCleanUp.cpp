#include "UninstallerCleanUp.h"

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "FileSystem.h"
#include "FolderLock.h"
#include "PathUtils.h"
#include "Platform.h"
#include "ProcessText.h"
#include "ProgramFile.h"
#include "TextUtils.h"
#include "WinHandle.h"

const char* const CleanUpSwitch = "/CLEANUP";

namespace {

// Full control for the system and the administrators, nothing for anybody
// else, and nothing inherited from the parent folder.
const char AdminOnly[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

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

// One user's temporary folder, where the clean-up of that user's own
// installation runs: no administrator rights are needed, and nobody else may write there.
std::string TemporaryFolderOfUser()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return length == 0 || length > MAX_PATH ? std::string() : IncludeDelimiter(FromWide(buffer, int(length)));
}

// Removes the file and the folders once Windows next starts; for when no
// clean-up can run now.
void RemoveAtRestart(const std::string& programPath, const std::vector<std::string>& folders)
{
    if (!programPath.empty()) MoveFileExA(programPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    for (const std::string& folder : folders)
        MoveFileExA(ExcludeDelimiter(folder).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// The longest the clean-up keeps trying, and how its pauses grow: a scanner
// lets go within a moment, an Explorer window once somebody closes it.
const DWORD FirstPause = 200;
const DWORD LongestPause = 5000;
const DWORD Patience = 10 * 60 * 1000;

// What one attempt leaves behind.
struct TLeftovers {
    bool Finished = false;  // nothing left that a later attempt could still take
    bool AllGone = false;   // the file and every folder went
    std::string File;       // the uninstaller's own file, still there
    std::vector<std::string> Folders;  // folders still there
};

// One attempt; the caller holds the folder's lock. A file under the
// uninstaller's name that is not the file it ran from is a newer
// installation's: it stays, and so do the folders, which are that
// installation's now. Once the file has gone (`fileGone`), the name is
// never looked at again: a file made there since may be given the gone
// file's identity (file systems reuse file numbers), and it is not ours.
TLeftovers RemoveOnce(const std::string& programPath, const std::string& identity,
                      const std::vector<std::string>& folders, bool& fileGone)
{
    TLeftovers left;
    left.Finished = true;
    std::string found = fileGone ? std::string() : FileIdentityText(programPath);
    if (!found.empty() && found != identity) return left;
    if (!found.empty()) {
        SetFileAttributesA(programPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(programPath.c_str()) && FileExists(programPath)) {
            left.Finished = false;
            left.File = programPath;
        } else {
            fileGone = true;
        }
    } else if (!fileGone && FileExists(programPath)) {
        left.Finished = false;  // there, but held so that not even its identity can be read yet
    } else {
        fileGone = true;
    }
    for (const std::string& folder : folders) {
        // Only an empty folder goes: whatever somebody put there since stays.
        if (RemoveDirectoryA(folder.c_str())) continue;
        DWORD error = GetLastError();
        if (!DirectoryExists(folder)) continue;
        left.Folders.push_back(folder);
        if (error != ERROR_DIR_NOT_EMPTY) left.Finished = false;
    }
    left.AllGone = (fileGone || !FileExists(programPath)) && left.Folders.empty();
    return left;
}

// Attempts until nothing is left to retry or the pauses run out, each under
// the folder's lock and none while Setup holds it. What the last attempt
// leaves is removed when Windows next starts: registered under the lock, when
// the file is still the uninstaller's own. Without the lock at the end nothing
// is registered: the Setup that holds it may be writing that very name.
TLeftovers RemoveWhenFree(const std::string& programPath, const std::string& identity,
                          const std::vector<std::string>& folders, TInstallScope scope)
{
    // The lock Setup takes for the installation's scope: for everyone, where
    // only administrators make names (the global one where this process has
    // no rights to them); for one user the global one, also where an
    // administrator removes that user's installation.
    TFolderLock lock(ExtractFilePath(programPath), scope);
    std::vector<DWORD> pauses = CleanUpRetryPauses();
    TLeftovers left;
    bool fileGone = false;
    bool owned = lock.Acquire(0);
    for (size_t i = 0;; ++i) {
        bool last = i == pauses.size();
        if (owned) {
            left = RemoveOnce(programPath, identity, folders, fileGone);
            if (!left.Finished && last) RemoveAtRestart(left.File, left.Folders);
            lock.Release();
            if (left.Finished) return left;
        }
        if (last) return left;
        if (owned) {
            Sleep(pauses[i]);
            owned = lock.Acquire(0);
        } else {
            owned = lock.Acquire(pauses[i]);  // ends early when Setup lets go
        }
    }
}

// How the command line names whom the installation is for.
const char* ScopeWord(TInstallScope scope) { return scope == TInstallScope::OneUser ? "OneUser" : "Everyone"; }

}  // namespace

std::vector<DWORD> CleanUpRetryPauses()
{
    std::vector<DWORD> pauses;
    DWORD total = 0;
    for (DWORD pause = FirstPause; total < Patience; pause = std::min(pause * 2, LongestPause)) {
        pauses.push_back(pause);
        total += pause;
    }
    return pauses;
}

PSECURITY_DESCRIPTOR AdminOnlyFolderSecurity()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(AdminOnly, SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

std::string CreateAdminOnlyFolder(const std::string& parent, const std::string& prefix, bool adminOnly)
{
    PSECURITY_DESCRIPTOR descriptor = adminOnly ? AdminOnlyFolderSecurity() : nullptr;
    if (adminOnly && !descriptor) return std::string();
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
                                    const std::vector<std::string>& folders, HANDLE waitFor,
                                    TInstallScope scope)
{
    std::string folder;
    // A process with administrator rights runs its clean-up from a folder only
    // administrators may write; one without them (the removal of one user's
    // installation) from that user's own temporary folder.
    bool admin = AdminRights();
    std::string temporary = admin ? TemporaryFolderOfWindows() : TemporaryFolderOfUser();
    if (!temporary.empty()) folder = CreateAdminOnlyFolder(temporary, "Uninstall-", admin);
    std::string copy = folder + ExtractFileName(cleaner);
    if (folder.empty() || !CopyFileA(cleaner.c_str(), copy.c_str(), TRUE)) {
        if (!folder.empty()) RemoveDirectoryA(folder.c_str());
        RemoveAtRestart(programPath, folders);
        return std::string();
    }
    // The copy goes when its last handle closes: this one, inherited by the
    // clean-up, closes when the clean-up ends, which also removes its folder.
    // Nothing is left for Windows to remove at its next start: an entry made
    // here would outlive a clean-up that went well.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    TFileHandle self(CreateFileA(copy.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited,
                                 OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    HANDLE inheritable = nullptr;
    DuplicateHandle(GetCurrentProcess(), waitFor, GetCurrentProcess(), &inheritable, SYNCHRONIZE, TRUE, 0);
    TKernelHandle waited(inheritable);

    // The uninstaller still runs from its file, so the file under that name
    // now is surely its own.
    std::string commandLine = Quoted(copy) + " " + CleanUpSwitch + " " +
                              std::to_string(reinterpret_cast<uintptr_t>(inheritable)) + " " + ScopeWord(scope) +
                              " " + Quoted(FileIdentityText(programPath)) + " " + Quoted(programPath);
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
    std::string parent = ExtractFilePath(folder);
    std::string windows = TemporaryFolderOfWindows(), user = TemporaryFolderOfUser();
    bool temporary = (!windows.empty() && SameTextAscii(parent, windows)) || (!user.empty() && SameTextAscii(parent, user));
    if (!temporary || ExtractFileName(folder).compare(0, 10, "Uninstall-") != 0) return 2;
    if (arguments.size() < 4) return 2;
    char* end = nullptr;
    uintptr_t value = std::strtoul(arguments[0].c_str(), &end, 10);
    if (!end || *end) return 2;
    TInstallScope scope = TInstallScope::Everyone;
    if (arguments[1] == ScopeWord(TInstallScope::OneUser))
        scope = TInstallScope::OneUser;
    else if (arguments[1] != ScopeWord(TInstallScope::Everyone))
        return 2;
    TKernelHandle uninstaller(reinterpret_cast<HANDLE>(value));
    // Waits without a time limit: the uninstaller ends when its last message
    // is closed, however long that stays open.
    if (WaitForSingleObject(uninstaller.Get(), INFINITE) == WAIT_FAILED) return 2;
    std::vector<std::string> folders(arguments.begin() + 4, arguments.end());
    int exitCode = RemoveWhenFree(arguments[3], arguments[2], folders, scope).AllGone ? 0 : 1;

    // This copy goes when it ends (the handle its starter left it); its folder
    // goes a moment later, through the system's own command processor with
    // the whole command in hand: no AutoRun (/d), no program searched for.
    std::string system = SystemFolder();
    if (system.empty()) {
        RemoveAtRestart(std::string(), {folder});
        return exitCode;
    }
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
    } else {
        RemoveAtRestart(std::string(), {folder});  // empty by then: the copy goes as this process ends
    }
    return exitCode;
}
