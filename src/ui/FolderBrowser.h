#pragma once
// The shell's folder browser, opened at the folder the user has typed.
#include <windows.h>

#include <string>

// The chosen folder's path; the initial folder, unchanged, when the user
// cancels or picks an item that is no file-system folder.
std::string BrowseForFolder(HWND owner, const std::string& prompt, const std::string& initialFolder);
