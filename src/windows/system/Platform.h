#pragma once
// What the installer asks of the machine: its bitness, the 64-bit program
// folders, and whether the user may write where an installation writes.
#include <windows.h>

#include <string>
#include <vector>

#include "SetupModel.h"
#include "ShellFolders.h"

// The user's preferred UI languages, best first, as BCP 47 tags ("de-DE"):
// GetUserPreferredUILanguages, else the one GetUserDefaultUILanguage names.
std::vector<std::string> UserPreferredLanguages();

// The 32-bit program runs on 64-bit Windows.
bool IsWow64();
// The machine Windows runs on: IsWow64Process2 tells where it exists (on
// ARM64 this x86 program is emulated, and IsWow64 alone cannot say which
// 64-bit machine it is); before it, x64 on 64-bit Windows, else x86.
TMachine NativeMachine();
// The system's answer NativeMachine gives, unless a test plays another machine.
TMachine ProbeNativeMachine();
// "x86", "x64" or "ARM64".
const char* MachineName(TMachine machine);
// The 64-bit Program Files (sfProgramFiles) or Common Files (sfCommonFiles)
// folder as a 32-bit program sees it; other folders as the shell gives them.
std::string GetProgramFiles64Folder(TShellFolder folder);
// A trial folder can be made (and is removed at once) under Program Files, and
// HKEY_LOCAL_MACHINE\SOFTWARE opens with full access.
bool HasAdminRights();

// Whether this process has administrator rights, as the installer and the
// uninstaller ask (HasAdminRights, unless a test plays a user without them).
bool AdminRights();
