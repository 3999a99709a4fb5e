#pragma once
// What the installer asks of the machine: its bitness, the 64-bit program
// folders, and whether the user may write where an installation writes.
#include <windows.h>

#include <string>

#include "ShellFolders.h"

// The 32-bit program runs on 64-bit Windows.
bool IsWow64();
// The 64-bit Program Files (sfProgramFiles) or Common Files (sfCommonFiles)
// folder as a 32-bit program sees it; other folders as the shell gives them.
std::string GetProgramFiles64Folder(TShellFolder folder);
// A trial folder can be made (and is removed at once) under Program Files, and
// HKEY_LOCAL_MACHINE\SOFTWARE opens with full access.
bool HasAdminRights();
// The rights check the installer and the uninstaller make: HasAdminRights,
// unless a test plays a user without the rights (Wine always grants them).
extern bool (*AdminRightsCheck)();

// Where IsWow64Process is looked up: kernel32, unless a test plays an older
// Windows without it.
using IsWow64ProcessProc = BOOL(WINAPI*)(HANDLE, PBOOL);
extern IsWow64ProcessProc (*LookupIsWow64Process)();
