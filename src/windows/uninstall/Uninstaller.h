#pragma once
// TUninstaller: reads the uninstall log appended to Uninst.exe (or kept in
// Uninstall.dat beside it) and removes every logged item in reverse order.
#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "InstallationLog.h"
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
    const std::vector<std::string>& KeptFolders() const { return FKept; }
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
    const std::vector<std::string>& DeferredFolders() const { return FDeferred; }

private:
    void Note(const std::string& text) const
    {
        if (OnNote) OnNote(text);
    }
    void ReadNotes();
    // Adds what a run ended while it wrote the journal or the uninstaller left
    // under unfinished names.
    void NoteUnfinishedFiles();
    // Whether a line may be acted on: the table clears it, the roots hold every
    // place it names, and none lies in the Windows folder.
    bool Obeys(const std::string& line) const;
    void Remove(const TLogLine& line);
    void RemoveFile(const std::string& path);
    // Another installation kept our file aside when it wrote there: that copy
    // is ours (its stamp, or a shortcut's target, says so) and goes with us.
    void DropCopiesKeptByOthers(const std::string& path);
    // The empty keys this installation created above a key it recorded (a K line).
    void RemoveEmptyParents(const TLogLine& line);
    bool IsOtherInstallationsShortcut(const std::string& path) const;
    void RestoreFile(const TLogLine& note);
    void RemoveFolder(const std::string& path);
    // What a folder still holds besides `ignored` and the items removal left
    // on purpose: true when that is anything at all.
    bool HoldsOthers(const std::string& folder, const std::string& ignored = std::string()) const;
    void Keep(const std::string& folder);
    void RemoveFolderFiles(const std::string& path);
    void RemoveRegistryKey(const TLogLine& line);

    std::string FProgramPath;
    std::string FProgramFolder;
    bool FFailed = false;
    std::string FProductName;
    std::vector<std::string> FLines;
    std::vector<std::string> FDeferred;
    TProgramVersion FVersion;
    // Where the installation wrote, as it recorded beside its registration:
    // no line outside is obeyed. Empty for an installation that did not say.
    TInstallationRoots FRoots;
    // From the log's notes, by UpperAscii path: each file's stamp as installed
    // ("size|time"), and the files whose shared reference is the product's.
    std::map<std::string, std::string> FStamps;
    std::set<std::string> FShared;
    // Files this installation replaced and whose earlier copy it still keeps
    // (B notes): its own goes, and the copy comes back.
    std::set<std::string> FReplaced;
    std::set<std::string> FKeptCopies;  // the copies B lines put back, as UpperAscii
    // The values this installation wrote into keys that were there before (V
    // notes), in the log's order.
    std::vector<TLogLine> FPriorValues;
    // Puts back the values this installation replaced in a key (and the keys
    // below it) that it leaves to another installation.
    void PutBackPriorValues(char letter, const std::string& key);
    // What the other registered installations name: left to the last one out.
    TOtherInstallations FOthers;
    // Files that a run was writing when the log was taken (from P notes).
    std::set<std::string> FPartial;
    // Items handled in this run, and items left on purpose (shared, another
    // installation's), by UpperAscii path.
    std::set<std::string> FHandled, FLeft;
    std::vector<std::string> FKept;
    // The log was changed since its installation finished it (see TVouchedLog).
    bool FLogChanged = false;
    TInstallScope FScope = TInstallScope::Everyone;
};

// Everything directly inside a folder (ending in a backslash): its files, and
// its subfolders with a trailing backslash.
std::vector<std::string> FolderEntries(const std::string& folder);

