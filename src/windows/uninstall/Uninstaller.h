#pragma once
// TUninstaller: reads the uninstall log appended to Uninst.exe (or kept in
// Uninstall.dat beside it) and removes every logged item in reverse order.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "InstallationLog.h"
#include "LogUndo.h"
#include "ProgramFile.h"
#include "InstallScope.h"
#include "ProgramVersion.h"
#include "OtherInstallations.h"
#include "UninstallLog.h"
#include "UninstallRegistration.h"
#include "WinHandle.h"

class TUninstaller {
public:
    // `programPath`: the uninstaller whose log is read and which the removal
    // script deletes; the running module unless a test names another.
    explicit TUninstaller(const std::string& programPath = ModuleFileName());

    // Removes every item, last recorded first; true when no file or folder
    // failed. Only what is the product's goes: a file the user changed since,
    // a file another installation still relies on, a shortcut that now points
    // elsewhere and a folder that holds anything else stay, and a file the
    // installation replaced comes back.
    bool Uninstall();
    // The folders that kept files of the user's own (found by Uninstall).
    const std::vector<std::string>& KeptFolders() const { return FUndo.KeptFolders(); }
    // Starts the clean-up that deletes the uninstaller once this process has
    // ended and removes the deferred folders (see UninstallerCleanUp.h).
    // Returns the clean-up's folder; empty when it is left to the next start
    // of Windows.
    std::string StartCleanUp();

    const std::string& ProductName() const { return FProductName; }
    const std::string& ProgramPath() const { return FProgramPath; }
    // Whom the installation is for: where it is registered (see ReadVouchedLog).
    TInstallScope Scope() const { return FScope; }
    // Told of every item removed, kept or not obeyed, for the run's log.
    std::function<void(const std::string&)> OnNote;
    const TProgramVersion& Version() const { return FVersion; }
    const std::vector<std::string>& LogLines() const { return FLines; }
    const std::vector<std::string>& DeferredFolders() const { return FUndo.DeferredFolders(); }

private:
    void Note(const std::string& text) const
    {
        if (OnNote) OnNote(text);
    }
    // Adds what a run ended while it wrote the journal or the uninstaller left
    // under unfinished names.
    void NoteUnfinishedFiles();

    std::string FProgramPath;
    std::string FProgramFolder;
    std::string FProductName;
    std::vector<std::string> FLines;
    TProgramVersion FVersion;
    // The log was changed since its installation finished it (see TVouchedLog).
    bool FLogChanged = false;
    TInstallScope FScope = TInstallScope::Everyone;
    // Removes the lines, last first, as the installation's roots allow.
    TLogUndo FUndo{TUndoMode::Removal, TInstallScope::Everyone};
};
