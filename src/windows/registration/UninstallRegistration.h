#pragma once
// The installation's entry in the Windows list of installed programs: a key
// below HKEY_LOCAL_MACHINE's uninstall registrations, which only
// administrators can write (HKEY_CURRENT_USER's for an installation for one
// user, InstallScope.h). Besides what the list shows, it keeps the
// installation's roots (the folders and keys its log may name), written when
// the run starts and extended before any step outside them, so that an
// uninstaller whose log was changed since, or a run that was ended half-way,
// obeys nothing elsewhere.
#include <windows.h>

#include <string>
#include <vector>

#include "InstallScope.h"
#include "Registry.h"
#include "UninstallLog.h"

namespace RegistrationValue {
constexpr char DisplayName[] = "DisplayName";
constexpr char UninstallString[] = "UninstallString";
constexpr char InstallFolders[] = "InstallFolders";  // the roots' folders, joined by "|"
constexpr char InstallKeys[] = "InstallKeys";        // the roots' keys, each with its item letter
constexpr char DisplayVersion[] = "DisplayVersion";
constexpr char Publisher[] = "Publisher";
constexpr char DisplayIcon[] = "DisplayIcon";
constexpr char InstallLocation[] = "InstallLocation";
constexpr char EstimatedSize[] = "EstimatedSize";  // KiB
constexpr char NoModify[] = "NoModify";
constexpr char NoRepair[] = "NoRepair";
constexpr char UrlInfoAbout[] = "URLInfoAbout";
constexpr char QuietUninstallString[] = "QuietUninstallString";  // the uninstaller, quoted, with /S
constexpr char VersionMajor[] = "VersionMajor";
constexpr char VersionMinor[] = "VersionMinor";
constexpr char InstallDate[] = "InstallDate";  // yyyymmdd
constexpr char Language[] = "Language";        // the LCID of the installation's language
constexpr char HelpLink[] = "HelpLink";
constexpr char UrlUpdateInfo[] = "URLUpdateInfo";
// The SHA-256 of the finished uninstall log, as hexadecimal digits: a log that
// no longer matches is obeyed only inside the installation's own folder. A run
// under way has none (its journal grows), and neither had earlier versions.
constexpr char LogDigest[] = "LogSha256";
}  // namespace RegistrationValue

// A value of the registration beyond its name and command: text, or a number with Number set.
struct TRegistrationValue {
    std::string Name, Text;
    bool Number = false;
};

// Registers the uninstaller under `keyName`: its command (quoted, first), its
// name in the list and the further values. Each value written is told to
// `undo` first (as every call below that writes or deletes a registration's
// value, or a whole registration, does), so that a run's journal keeps it as
// it was. Registry trouble never fails the installation: the registration is
// then skipped or partial.
void RegisterUninstaller(TInstallScope scope, const std::string& uninstallerPath, const std::string& keyName,
                         const std::string& displayName, const std::vector<TRegistrationValue>& values,
                         TRegistryUndo* undo = nullptr);
// Removes the earlier registrations of the same uninstaller under other key
// names, once the one under `keyName` is whole, its roots included: a run
// ended before then is found, with its roots, through one or the other.
void DropEarlierRegistrations(TInstallScope scope, const std::string& uninstallerPath, const std::string& keyName,
                              TRegistryUndo* undo = nullptr);
// The key names of every registration of the installation's scope that names
// the uninstaller.
std::vector<std::string> RegistrationsNaming(TInstallScope scope, const std::string& uninstallerPath);

// A run is about to change the log of the uninstaller at `uninstallerPath`:
// the digest of its registrations goes, so that a run ended from here on is
// judged by its roots.
void ForgetLogDigest(TInstallScope scope, const std::string& uninstallerPath, TRegistryUndo* undo = nullptr);
// Keeps the digest of the finished log in the registration `keyName`.
void WriteLogDigest(TInstallScope scope, const std::string& keyName, const std::string& digest,
                    TRegistryUndo* undo = nullptr);

// The log line that records the registration of that key name.
std::string RegistrationLine(TInstallScope scope, const std::string& keyName);
// The key name a log line records as the registration; empty for any other line.
std::string RegistrationKeyName(TInstallScope scope, const std::string& line);
// The name of the entry a registry key is (a key right below the list of
// installed programs, with or without its leading backslash); empty for any other key.
std::string RegistrationNameOfKey(std::string key);
// A registration's value as it was before a run (a V line in the list of
// installed programs): it matters only to that run's own rollback, and no
// finished log, nor a run that takes over a journal, keeps it.
bool IsRegistrationPriorValue(const TLogLine& line);
// Removes the registration a log line records where it is an empty key: a
// run ended between creating it and naming its uninstaller there left it,
// and an empty key is nothing anybody could lose. True when it went.
bool RemoveEmptyRegistration(TInstallScope scope, const std::string& line);

// A registration in the list of installed programs, anybody's.
struct TRegistrationEntry {
    std::string Name;         // its key's name
    std::string Uninstaller;  // UninstallString, unquoted; empty when it has none
    std::string DisplayName;
    std::string LogDigest;  // empty when it keeps none
};
// Every registration whose word an installation of `scope` may weigh:
// everyone's (HKEY_LOCAL_MACHINE), and for an installation for one user that
// user's own too (HKEY_CURRENT_USER). An installation for everyone never takes a user's
// word: anybody can write there. A key whose UninstallString is no text is
// passed over.
std::vector<TRegistrationEntry> AllRegistrations(TInstallScope scope);

// Where the uninstaller at `uninstallerPath` is registered decides whom its
// installation is for, never a line of its log: everyone's registrations are
// asked first, then the user's. The registrations the log names are tried
// first, then every other.
enum class TRegistrationScope { None, Everyone, OneUser };
TRegistrationScope RegistrationScope(const std::string& uninstallerPath, const std::vector<std::string>& logLines);
// Whom the installation is for: where it is registered, and only where it is
// registered nowhere what its log says (an O line: one user).
TInstallScope InstallationScope(const std::string& uninstallerPath, const std::vector<std::string>& logLines);

// The key name of the registration whose UninstallString is the uninstaller
// at `uninstallerPath`, compared as the same file (not as text). The
// registrations the log names are tried first, then every other; empty when
// none is.
std::string FindRegistration(TInstallScope scope, const std::string& uninstallerPath,
                             const std::vector<std::string>& logLines);
// A text value of the registration `keyName`; empty when there is none.
std::string RegisteredText(TInstallScope scope, const std::string& keyName, const char* valueName);

// The key name under which the uninstaller at `uninstallerPath` is registered:
// `keyName`, unless that registration belongs to another installation (its
// uninstaller is another file that exists), then "keyName (2)", "(3)", ...:
// each installation has an entry of its own, and removing one never removes another's.
std::string FreeRegistrationKey(TInstallScope scope, const std::string& uninstallerPath, const std::string& keyName);

// The roots kept in a registration; false when it keeps none.
bool ReadRegisteredRoots(TInstallScope scope, const std::string& keyName, TInstallationRoots& roots);
// Keeps the roots in the registration (which must exist); false when they
// could not be written.
bool WriteRegisteredRoots(TInstallScope scope, const std::string& keyName, const TInstallationRoots& roots,
                          TRegistryUndo* undo = nullptr);

// The roots an uninstaller obeys: those of its registration; without one that
// keeps roots, or where the registration keeps a digest that `logDigest` does
// not match (the log was changed since it was finished), only the folder it
// runs from and its own registration's key. `distrusted` tells the latter.
TInstallationRoots UninstallerRoots(TInstallScope scope, const std::string& uninstallerPath,
                                    const std::vector<std::string>& logLines, const std::string& logDigest,
                                    bool* distrusted = nullptr);
