#pragma once
// File-system queries and changes the installer and uninstaller share.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

bool FileExists(const std::string& path);       // a file, not a folder
bool DirectoryExists(const std::string& path);  // a folder
// Sets a file's last-write time from a DOS date-time read as local time;
// creation and access times stay.
bool SetLastWriteTimeFromDos(HANDLE file, int32_t dosDateTime);
// A file's size and last-write time as the uninstall log keeps them (decimal
// bytes, the time as 16 hexadecimal digits); empty when there is no such file.
std::vector<std::string> FileStamp(const std::string& path);
