#pragma once
// What is left once the uninstaller has done its work: its own file, which
// cannot go while it runs, and the folders that held it. A copy of the
// uninstaller takes them. The copy lives in a new folder that only
// administrators and the system may write, waits for the uninstaller's process
// to end, removes the file and the (then empty) folders, and goes itself:
// nothing the elevated clean-up runs or reads could have been written by a
// process without administrator rights.
//
// Setup may run for the same folder once the uninstaller has finished its work
// but before its process ends, and write a new uninstaller under the same name.
// So the clean-up removes only the very file the uninstaller ran from (known by
// its identity, taken while the uninstaller still runs), and only while it
// holds the folder's lock (FolderLock.h), which that Setup holds while it works.
#include <windows.h>

#include <string>
#include <vector>

#include "InstallScope.h"

// The switch that starts a program file as the clean-up.
extern const char* const CleanUpSwitch;

// Starts a copy of `cleaner` (a program file of this program) as the clean-up
// of `programPath` and `folders` (each removed only when empty, in this
// order) once `waitFor` (a process, or any handle one can wait on) is
// signalled. `programPath` is identified now: only that file is removed later,
// whatever takes its name meanwhile. Returns the clean-up's folder, or an empty
// text when none could be made: the file and the folders are then removed when
// Windows next starts. Each attempt is made under the folder's lock as an
// installation for `scope` takes it, so never while Setup writes there.
std::string StartUninstallerCleanUp(const std::string& cleaner, const std::string& programPath,
                                    const std::vector<std::string>& folders, HANDLE waitFor,
                                    TInstallScope scope);

// The clean-up's side. `arguments` follow the switch: the uninstaller's
// process handle (inherited), whom the installation is for (ScopeWord), the
// identity of the uninstaller's file (FileIdentityText), its path, the folders. Returns the exit code: 0 when the
// file and every folder went.
int RunUninstallerCleanUp(const std::vector<std::string>& arguments);

// How long the clean-up keeps trying while a virus scanner or an Explorer
// window holds the file, or Setup holds the folder's lock: the pauses between
// its attempts, 200 ms doubling up to 5 s, until they add up to ten minutes.
// Only then is what is left removed when Windows next starts.
std::vector<DWORD> CleanUpRetryPauses();


// The security of such a folder: a protected access list that gives full
// control to SYSTEM and Administrators and nothing to anyone else, for the
// folder and all it will hold. The caller frees it with LocalFree; null when
// it could not be made.
PSECURITY_DESCRIPTOR AdminOnlyFolderSecurity();

// A new folder below `parent` that only administrators and the system may
// write; its name starts with `prefix`. Empty when none could be made.
// Without `adminOnly` (the clean-up of one user's installation) the folder
// takes the parent's security: a user's temporary folder is that user's alone.
std::string CreateAdminOnlyFolder(const std::string& parent, const std::string& prefix, bool adminOnly = true);
