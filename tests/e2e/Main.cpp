#include <gtest/gtest.h>

#include <cstdio>

#include "E2E.h"
#include "TestFiles.h"

namespace {
std::string ProgramPath;
}

const std::string& SetupProgramPath() { return ProgramPath; }

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: e2e_tests PATH_OF_SETUP_EXE\n");
        return 2;
    }
    ProgramPath = WindowsPath(argv[1]);
    // The 32-bit Windows cases run in their own prefix, selected by name.
    if (::testing::GTEST_FLAG(filter) == "*") ::testing::GTEST_FLAG(filter) = "-Wizard32.*:Unattended32.*";
    return RUN_ALL_TESTS();
}
