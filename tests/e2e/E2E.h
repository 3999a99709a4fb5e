#pragma once
#include <string>

// The Setup.exe under test, as Wine names it.
const std::string& SetupProgramPath();
