#pragma once
// The running program's own file: its path, its folder, and the two words of
// its MZ header that tell where the appended data lies and which mode it runs in.
#include <cstdint>
#include <string>

// Full path of the running program file.
std::string ModuleFileName();

// The folder of a program file, ending in a backslash.
std::string GetProgramFolder(const std::string& programPath = ModuleFileName());

// Reads the int32 at `offset` of the file, opened read-only without denying
// readers or writers. A file too short for it is the stream's read error.
int32_t ReadProgramWord(const std::string& programPath, int64_t offset);

// True exactly when the uninstaller-mode word (0x34) of the program file is 1.
bool IsUninstallerMode(const std::string& programPath = ModuleFileName());
