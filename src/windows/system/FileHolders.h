#pragma once
// Which running programs hold a file open, by the names Windows shows for
// them (the Restart Manager's list). Empty when none does, or when the
// system cannot tell.
#include <string>
#include <vector>

std::vector<std::string> ProgramsHolding(const std::string& path);

// The Restart Manager's answer, which ProgramsHolding gives unless a test stands in.
std::vector<std::string> RestartManagerHolders(const std::string& path);
