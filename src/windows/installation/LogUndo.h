#pragma once
// TLogUndo: the one interpreter that undoes an installation's lines, last
// line first. It serves two readers:
// - a failed run's rollback (TUndoMode::RollBack) takes back exactly the
//   steps its journal names: what it wrote goes, what it moved or replaced
//   comes back, the shared references it took are given back;
// - the uninstaller's removal (TUndoMode::Removal) takes away what is still
//   the product's: a file the user changed since, a file, folder or key
//   another installation still relies on, a shortcut that now points
//   elsewhere and a folder that holds anything else stay, and a file the
//   installation replaced comes back.
// Where the two differ, each kind of line says so in one place. Neither
// ever follows a line through a link.
#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "InstallScope.h"
#include "LineStore.h"
#include "LogLine.h"
#include "OtherInstallations.h"
#include "UninstallLog.h"

enum class TUndoMode { RollBack, Removal };

class TLogUndo {
public:
    TLogUndo(TUndoMode mode, TInstallScope scope) : FMode(mode), FScope(scope) {}

    // A rollback's journal: its own P line takes it away where no earlier
    // log is written back in its place (`earlierLogReturns`).
    void SetJournal(const std::string& path, bool earlierLogReturns)
    {
        FJournal = path;
        FEarlierLogReturns = earlierLogReturns;
    }
    // A removal's uninstaller at `programPath` (its folder and the folders
    // above it are left to its clean-up) and the roots it obeys; then the
    // log's notes, read once: the stamps, the shared references, the copies
    // kept aside, the values written over and the unfinished files.
    void SetUninstaller(const std::string& programPath, const TInstallationRoots& roots);
    void ReadNotes(const std::vector<std::string>& lines);

    // Undoes every line, last first. A removal returns true when no file or
    // folder failed; a rollback, when everything was put back (LeftOver).
    bool Undo(const std::vector<std::string>& lines);
    bool Undo(const TLineStore& lines);

    // A rollback's steps that could not be taken, in the words of its notes.
    const std::vector<std::string>& LeftOver() const { return FLeftOver; }
    // A removal's folders that kept files of the user's own, and the folders
    // left to the clean-up.
    const std::vector<std::string>& KeptFolders() const { return FKept; }
    const std::vector<std::string>& DeferredFolders() const { return FDeferred; }

    // Told of every step: what went, what was kept, what was not obeyed.
    std::function<void(const std::string&)> OnNote;

private:
    void Note(const std::string& text) const
    {
        if (OnNote) OnNote(text);
    }
    // Undoes the line at `index` (its place in the log: a folder recorded
    // again is handled at its first line, `firstFolderLines`).
    template <typename Lines>
    bool UndoLines(const Lines& lines);
    void Step(size_t index, const std::string& line);
    void RollBackStep(const TLogLine& line);
    void RemovalStep(size_t index, const std::string& line, const TLogLine& parsed);
    void Done(bool done, const std::string& what);
    // Whether a removal obeys a line: the roots hold every place it names,
    // and none lies in the Windows folder.
    bool Obeys(const std::string& line) const;

    void RemoveFile(const std::string& path);
    // Another installation kept our file aside when it wrote there: that copy
    // is ours (its stamp, or a shortcut's target, says so) and goes with us.
    void DropCopiesKeptByOthers(const std::string& path);
    bool IsOtherInstallationsShortcut(const std::string& path) const;
    void RestoreFile(const TLogLine& note);
    void RemoveFolder(const std::string& path);
    // What a folder still holds besides `ignored` and the items removal left
    // on purpose: true when that is anything at all.
    bool HoldsOthers(const std::string& folder, const std::string& ignored = std::string()) const;
    void Keep(const std::string& folder);
    void RemoveFolderFiles(const std::string& path);
    void RemoveRegistryKey(const TLogLine& line);
    // Puts back the values this installation replaced in a key (and the keys
    // below it) that it leaves to another installation.
    void PutBackPriorValues(char letter, const std::string& key);
    // The empty keys this installation created above a key it recorded (a K line).
    void RemoveEmptyParents(const TLogLine& line);

    TUndoMode FMode;
    TInstallScope FScope;
    std::map<std::string, size_t> FFirstFolderLines;  // by UpperAscii path

    // Rolling back: the journal, the shared references given back (as
    // UpperAscii) and what could not be put back.
    std::string FJournal;
    bool FEarlierLogReturns = false;
    std::set<std::string> FReleased;
    std::vector<std::string> FLeftOver;
    // The entries in the list of installed programs whose values came back,
    // in the order met: whether any was there before, whether all came back.
    struct TRegistrationUndo {
        std::string Name;
        bool Existed, Done;
    };
    std::vector<TRegistrationUndo> FRegistrations;

    // Removing:
    std::string FProgramPath;
    std::string FProgramFolder;
    bool FFailed = false;
    // Where the installation wrote, as it recorded beside its registration:
    // no line outside is obeyed.
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
    // What the other registered installations name: left to the last one out.
    TOtherInstallations FOthers;
    // Files that a run was writing when the log was taken (from P notes).
    std::set<std::string> FPartial;
    // Items handled in this run, and items left on purpose (shared, another
    // installation's), by UpperAscii path.
    std::set<std::string> FHandled, FLeft;
    std::vector<std::string> FKept;
    std::vector<std::string> FDeferred;
};

// The outermost key an X line says the run created: its key, less the levels above it.
std::string CreatedKeyOf(const TLogLine& line);

// Everything directly inside a folder (ending in a backslash): its files, and
// its subfolders with a trailing backslash.
std::vector<std::string> FolderEntries(const std::string& folder);
