#pragma once
// Which running programs hold a file open, by the names Windows shows for
// them (the Restart Manager's list). Empty when none does, or when the
// system cannot tell.
#include <string>
#include <vector>

std::vector<std::string> ProgramsHolding(const std::string& path);

// The call ProgramsHolding makes; tests put a stand-in here.
extern std::vector<std::string> (*HoldersCall)(const std::string& path);
// The Restart Manager's answer, the default of HoldersCall.
std::vector<std::string> RestartManagerHolders(const std::string& path);
