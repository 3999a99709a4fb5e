#pragma once
// Shell links (.lnk files) and the icons they show.
#include <string>

// Writes a shortcut to `target`. An icon index other than 0 takes the icon
// from the target itself; 0 takes the icon of the target's file type. Shell
// calls that fail while setting up or saving the link are not reported; a link
// object that cannot be had raises (COM must be initialised on the thread).
void CreateShellLink(const std::string& shortcutFile, const std::string& target, const std::string& arguments,
                     int iconIndex);
// Reads a shortcut's target and arguments; false when it cannot be read.
bool ReadShellLink(const std::string& shortcutFile, std::string& target, std::string& arguments);
// The icon Windows shows for the target's file type (the target itself for
// .ico and .exe files).
void GetAssociatedIcon(const std::string& target, std::string& iconFile, int& iconIndex);
