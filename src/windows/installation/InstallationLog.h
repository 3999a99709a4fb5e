#pragma once
// The files an installation keeps: its uninstall log (appended to Uninst.exe
// or in Uninstall.dat beside it), the journal a run writes as it goes, the
// partial names files are written under, and how a log's shared counts stand.
// Read here for the uninstaller, for Setup again and for the evidence of
// other installations alike.
#include <optional>
#include <string>
#include <vector>

#include "UninstallLog.h"
#include "UninstallRegistration.h"

// The uninstall log of an uninstaller file: appended to it, or in
// Uninstall.dat beside it when nothing is appended. Beside one that carries
// its log, a journal of the same product is a later run's that was ended
// before it replaced the uninstaller: with `takeOverJournal` its lines are
// taken over too.
TUninstallLog ReadUninstallerLog(const std::string& programPath, bool takeOverJournal = true);
// The log of the installation in a folder (ending in a backslash): its
// Uninst.exe's, or, where a run was ended before it placed one, the journal
// Uninstall.dat on its own. EFOpenError when the folder holds neither.
TUninstallLog ReadInstallationLog(const std::string& folder);

// What a folder holds of an installation, looked at once for all that Setup
// asks of a destination: whether the folder is there, whether it holds an
// uninstaller or a journal, and the log read from them.
struct TFolderSurvey {
    std::string Folder;  // with a trailing backslash; empty for no folder
    bool Exists = false;
    bool HasUninstaller = false, HasJournal = false;
    // The log (ReadInstallationLog); none where the folder holds neither file
    // or where what it holds could not be read (not one of ours, or damaged).
    std::optional<TUninstallLog> Log;
};
TFolderSurvey SurveyFolder(const std::string& folder);

// The log of an installation as far as its registration vouches for it: read
// with its digest, a journal beside it taken over only while the
// registration keeps no digest (a run under way or ended, or an earlier
// version's installation), and the roots it may be obeyed in.
struct TVouchedLog {
    TUninstallLog Log;
    TInstallationRoots Roots;
    // Whom the installation is for, as it was read (see ReadVouchedLog).
    TInstallScope Scope = TInstallScope::Everyone;
    // The registration keeps a digest the log does not match: it was changed
    // since it was finished, and only the installation's own folder is obeyed.
    bool Changed = false;
};
// `uninstallerPath` need not exist: a run ended early leaves only the journal.
// Without `scope` (the uninstaller) the installation's scope is where it is
// registered (its log's O line only where it is registered nowhere: it is then
// obeyed in its own folder alone); with it (Setup) the registration is looked
// for in that scope.
TVouchedLog ReadVouchedLog(const std::string& uninstallerPath, std::optional<TInstallScope> scope = std::nullopt);

// A log's lines with every Q line resolved by the count as it is now: an H
// line where the run that was ended had taken the reference, nothing where it
// had not.
std::vector<std::string> ResolveSharing(TInstallScope scope, const std::vector<std::string>& lines);

// The name a file is written under until it is complete.
extern const char PartialSuffix[];
// The file that a name ending in PartialSuffix stands for; empty for any other name.
std::string PartialTarget(const std::string& path);
