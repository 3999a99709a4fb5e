#include <gtest/gtest.h>

#include "Exception.h"
#include "ProgramFile.h"
#include "TestFiles.h"

TEST(ProgramFile, UninstallerModeOnlyForWordOne)
{
    TTestFolder folder("ProgramFileMode");
    std::string path = folder / "Program.exe";
    for (int32_t word : {0, 1, 2, -1, 256}) {
        std::vector<uint8_t> program = StubProgram();
        SetWord(program, 0x34, word);
        WriteWholeFile(path, program);
        EXPECT_EQ(IsUninstallerMode(path), word == 1) << word;
    }
}

TEST(ProgramFile, ModeWordIsReadWhileOthersWriteTheFile)
{
    TTestFolder folder("ProgramFileShared");
    std::string path = folder / "Program.exe";
    std::vector<uint8_t> program = StubProgram();
    SetWord(program, 0x34, 1);
    WriteWholeFile(path, program);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(IsUninstallerMode(path));
    CloseHandle(writer);
}

TEST(ProgramFile, FileTooShortForTheWordIsReadError)
{
    TTestFolder folder("ProgramFileShort");
    std::string path = folder / "Program.exe";
    WriteWholeFile(path, StubProgram(55));
    EXPECT_THROW(IsUninstallerMode(path), EReadError);
    EXPECT_THROW(IsUninstallerMode(folder / "Missing.exe"), EFOpenError);
}

TEST(ProgramFile, ProgramFolderEndsInBackslash)
{
    EXPECT_EQ(GetProgramFolder("C:\\Program Files\\Maker\\Setup.exe"), "C:\\Program Files\\Maker\\");
    EXPECT_EQ(GetProgramFolder("C:\\Setup.exe"), "C:\\");
    std::string own = GetProgramFolder();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.back(), '\\');
    EXPECT_EQ(ModuleFileName().substr(0, own.size()), own);
}
