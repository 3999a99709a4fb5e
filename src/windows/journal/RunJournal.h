#pragma once
// TRunJournal: the write-ahead journal of one installation run. Every writer
// of the run (files, folders, shared counts, registry keys and values, the
// registration, shortcuts, the uninstaller itself) has its step's line
// appended here before it takes the step. Once opened, the lines go to
// Uninstall.dat beside the early uninstaller as they come, flushed before
// every step that moves or replaces something that was there before, and the
// registration's roots widen before any line names a place outside them: a
// run ended at any moment can be removed by that uninstaller, or carried
// forward by Setup. A run that fails in the process is rolled back from here,
// last step first, each step's result told to OnNote.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "HandleStream.h"
#include "InstallScope.h"
#include "LineStore.h"
#include "LogLine.h"
#include "ProgramVersion.h"
#include "Registry.h"
#include "UninstallLog.h"
#include "UninstallRegistration.h"

class TRunJournal {
public:
    TRunJournal();
    TRunJournal(const TRunJournal&) = delete;
    TRunJournal& operator=(const TRunJournal&) = delete;

    // Whom the run installs for: the registration's roots and the shared
    // counts a rollback gives back are that scope's.
    void SetScope(TInstallScope scope) { FScope = scope; }

    // The run's lines so far, in order.
    const TLineStore& Lines() const { return FLines; }
    // Appends the line of the step about to be taken (see the top of this file).
    void Append(const std::string& line);
    // The last line's step did not happen after all: its line leaves the
    // run's lines. On disk it stays; its inverse finds nothing to undo.
    void Retract();

    // Writes the journal whole at `path` (the product's name, the earlier
    // installation's lines, this run's so far) under another name, flushes it
    // and renames it into place; from here on every line goes to it too.
    void Open(const std::string& path, const TProgramVersion& version, const std::string& productName,
              const std::vector<std::string>& earlier);
    bool IsOpen() const { return FFile != nullptr; }
    const std::string& Path() const { return FPath; }
    void Flush();
    // From here on the registration `keyName` keeps `roots`, widened before
    // every line that names a place outside them.
    void KeepRootsIn(const std::string& keyName, const TInstallationRoots& roots);

    // Whether the key (its line's letter and path) lies in one this run created.
    bool InCreatedKey(char letter, const std::string& key) const;
    // What was at the journal's path before the run (an earlier log), written
    // back there by a rollback instead of leaving no file.
    void RestoredOnRollBack(std::vector<uint8_t> earlier) { FEarlierFile = std::move(earlier); }
    // The registry objects of the run tell Values() of each value before they
    // write it: one the run writes over in a key that was there before (one
    // no X line names) gets its V line (the value as it was) here first. The
    // registration's values go the same way, through the registration's calls.
    TRegistryUndo& Values() { return FValues; }

    // No more lines: the file is closed, so that it can be replaced.
    void Close() { FFile.reset(); }
    // The run ended well: the journal file (unless it now holds the finished
    // log, `keepFile`) and the copies its R lines kept for a failure go;
    // nothing is left to roll back.
    void Finish(bool keepFile = false);
    // Undoes every step, last first, the journal file last. Returns what
    // could not be put back as it was.
    std::vector<std::string> RollBack();

    // Told of every line appended (the run log's words for it) and of every
    // rollback step with its result.
    std::function<void(const std::string&)> OnNote;

private:
    void Note(const std::string& text) const
    {
        if (OnNote) OnNote(text);
    }
    void WriteLine(const std::string& line);

    TLineStore FLines;
    std::unique_ptr<THandleStream> FFile;
    std::string FPath;
    int32_t FLength = 0;
    int64_t FTextStart = 0;  // where the journal's text starts in its file
    TInstallScope FScope = TInstallScope::Everyone;
    std::string FKeyName;
    TInstallationRoots FRoots;

    TRegistryUndo FValues;
    // The keys the X lines so far say the run created (letter, outermost
    // key), looked up before each value the run writes.
    std::vector<std::pair<char, std::string>> FCreatedKeys;
    std::optional<std::vector<uint8_t>> FEarlierFile;
};
