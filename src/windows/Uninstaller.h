#pragma once
// TUninstaller: reads the uninstall log appended to Uninst.exe (or kept in
// Uninstall.dat beside it) and removes every logged item in reverse order.
#include <windows.h>

#include <string>
#include <vector>

#include "ProgramFile.h"
#include "ProgramVersion.h"

class TUninstaller {
public:
    // `programPath`: the uninstaller whose log is read and which the removal
    // script deletes; the running module unless a test names another.
    explicit TUninstaller(const std::string& programPath = ModuleFileName());

    // Removes every item, last recorded first; true when no file or folder failed.
    bool Uninstall();
    // Writes Uninstall.bat to the temporary folder and starts it hidden: it
    // waits until the uninstaller can be deleted, deletes it, removes the
    // deferred folders and itself. Returns the script's path.
    std::string WriteRemovalScript();

    const std::string& ProductName() const { return FProductName; }
    const TProgramVersion& Version() const { return FVersion; }
    const std::vector<std::string>& LogLines() const { return FLines; }
    const std::vector<std::string>& DeferredFolders() const { return FDeferred; }

    // Where the temporary folder is asked for; replaceable because Wine always has one.
    static DWORD(WINAPI* TempPathQuery)(DWORD, LPSTR);

private:
    void RemoveFile(const std::string& path);
    void RemoveFolder(const std::string& path);
    void RemoveFolderFiles(const std::string& path);
    static void RemoveRegistryKey(HKEY root, const std::string& key, bool use64BitView);

    std::string FProgramPath;
    std::string FProgramFolder;
    bool FFailed = false;
    std::string FProductName;
    std::vector<std::string> FLines;
    std::vector<std::string> FDeferred;
    TProgramVersion FVersion;
};

// A path written into a batch file: cmd expands "%" even inside quotes, so
// every "%" is doubled to reach the command as it is.
std::string BatchPath(const std::string& path);
