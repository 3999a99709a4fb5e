#pragma once
// Special folders of the shell, with the fallbacks the installer relies on
// when the shell gives nothing.
#include <string>

enum TShellFolder : int {
    sfRecycleBin,            // CSIDL_BITBUCKET
    sfDesktop,               // CSIDL_DESKTOPDIRECTORY
    sfNetHood,               // CSIDL_NETHOOD
    sfPersonal,              // CSIDL_PERSONAL
    sfPrograms,              // CSIDL_PROGRAMS
    sfRecent,                // CSIDL_RECENT
    sfSendTo,                // CSIDL_SENDTO
    sfStartMenu,             // CSIDL_STARTMENU
    sfStartup,               // CSIDL_STARTUP
    sfTemplates,             // CSIDL_TEMPLATES
    sfAppData,               // CSIDL_APPDATA
    sfProgramFiles,          // CSIDL_PROGRAM_FILES
    sfCommonFiles,           // CSIDL_PROGRAM_FILES_COMMON
    sfCommonDesktop,         // CSIDL_COMMON_DESKTOPDIRECTORY
    sfLocalAppData,          // CSIDL_LOCAL_APPDATA
};

int ShellFolderCsidl(TShellFolder folder);

// The folder's path as the shell gives it; empty when it gives none.
std::string GetSpecialFolder(TShellFolder folder);
// The shell's folder, else the value of that name under
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion (a missing
// value reads as empty), else the default when the key cannot be read.
std::string GetSpecialFolderOrRegistry(TShellFolder folder, const std::string& valueName,
                                       const std::string& fallback);
std::string GetProgramFilesFolder();
std::string GetCommonFilesFolder();
std::string GetDocumentsFolder();
std::string GetAppDataFolder();
// The shell's local application data folder, else %LOCALAPPDATA%, else the
// roaming application data folder.
std::string GetLocalAppDataFolder();

// The shell's answer for a special folder (by CSIDL); empty when it has none.
std::string ShellSpecialFolder(int csidl);
