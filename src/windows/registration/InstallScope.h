#pragma once
// Whom an installation is for: everyone on the machine (its registration,
// product keys and shared counts below HKEY_LOCAL_MACHINE, which takes
// administrator rights) or the user who runs it (the same below
// HKEY_CURRENT_USER, no rights needed). A value the run, its journal and the
// uninstaller carry: Setup's comes from the page or the switch, the
// uninstaller's from where its installation is registered (or its log's O
// line where it is registered nowhere).
#include <windows.h>

#include <string>
#include <vector>

#include "LogLine.h"

enum class TInstallScope { Everyone, OneUser };
// HKEY_CURRENT_USER for one user, else HKEY_LOCAL_MACHINE.
HKEY ScopeRoot(TInstallScope scope);
// The log-line kind of a key below ScopeRoot: U or M.
TLineKind ScopeKeyKind(TInstallScope scope);
// The log was written by an installation for one user (it holds an O line).
bool IsOneUserLog(const std::vector<std::string>& lines);
// The name Windows knows the user by; empty when it tells none.
std::string WindowsUserName();

// Asks Windows to start this program again with administrator rights (the
// elevation prompt), with `arguments`, and waits for it: its exit code, or -1
// when the user refused or it could not start. RunElevated makes the call
// (ShellRunElevated, unless a test stands in).
int RunElevated(const std::vector<std::string>& arguments);
int ShellRunElevated(const std::vector<std::string>& arguments);
