#include <gtest/gtest.h>

#include <random>

#include "IniFile.h"
#include "Stream.h"
#include "UninstallLog.h"

TEST(IniFile, UntidyFileReadsAsTheTidyOne)
{
    TIniFile ini({"; a comment", "ignored=before any section", "  [setup]  ", "\tProductName   =  Echo Pro  ",
                  "", "  ; another comment", "RegistryRoot=Software\\Maker", "[ Pages ]", "vstpluginfolder = 1"});
    EXPECT_EQ(ini.ReadString("Setup", "productname", ""), "Echo Pro");
    EXPECT_EQ(ini.ReadString("SETUP", "RegistryRoot", ""), "Software\\Maker");
    EXPECT_TRUE(ini.ReadBool("Pages", "VstPluginFolder", false));
    EXPECT_EQ(ini.ReadString("Setup", "ignored", "default"), "default");
    EXPECT_EQ(ini.ReadString("Missing", "x", "default"), "default");
}

TEST(IniFile, LastKeyAndLastSectionWin)
{
    TIniFile ini({"[Setup]", "ProductName=First", "ProductName=Second", "Other=kept in first section", "[Complete]",
                  "Message=m", "[SETUP]", "ProductName=Third"});
    // Only the last [Setup] is seen: its key, and nothing of the first.
    EXPECT_EQ(ini.ReadString("Setup", "ProductName", ""), "Third");
    EXPECT_EQ(ini.ReadString("Setup", "Other", "none"), "none");
    TIniFile twice({"[Setup]", "ProductName=First", "ProductName=Second"});
    EXPECT_EQ(twice.ReadString("Setup", "ProductName", ""), "Second");
}

TEST(IniFile, ListSectionsKeepEveryLineInOrder)
{
    TIniFile ini({"[Components]", "Main=$ProgramFolder", "Main = C:\\One", "Main=C:\\Two", "Main=C:\\Three",
                  "Main=C:\\Four", "NoValueHere", "  = empty name "});
    std::vector<std::string> expected = {"Main=$ProgramFolder", "Main=C:\\One", "Main=C:\\Two", "Main=C:\\Three",
                                         "Main=C:\\Four", "NoValueHere", "=empty name"};
    EXPECT_EQ(ini.ReadSection("components"), expected);
    EXPECT_TRUE(ini.ReadSection("Shortcuts").empty());
}

TEST(IniFile, BooleansAreWholeNumbers)
{
    TIniFile ini({"[S]", "Zero=0", "One=1", "Minus=-3", "Hex=0x10", "Dollar=$0", "HexZero=0x0", "Word=yes",
                  "Empty=", "Float=1.0", "Big=99999999999", "Blank= 1"});
    EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "One", false));
    EXPECT_TRUE(ini.ReadBool("S", "Minus", false));
    EXPECT_TRUE(ini.ReadBool("S", "Hex", false));
    EXPECT_FALSE(ini.ReadBool("S", "Dollar", true));
    EXPECT_FALSE(ini.ReadBool("S", "HexZero", true));
    for (const char* key : {"Word", "Empty", "Float", "Big", "Missing"}) {
        EXPECT_TRUE(ini.ReadBool("S", key, true)) << key;
        EXPECT_FALSE(ini.ReadBool("S", key, false)) << key;
    }
    EXPECT_TRUE(ini.ReadBool("S", "Blank", false));
}

TEST(IniFile, BytesThatAreNotTextNeverBreakTheReader)
{
    std::mt19937 random(20261207);
    auto garbage = [&random]() {
        std::string bytes(size_t(random() % 2000), '\0');
        for (char& c : bytes) c = char(random() % 256);
        return bytes;
    };
    const char* breaks[] = {"\r\n", "\r", "\n"};
    for (int round = 0; round < 200; ++round) {
        // Known sections planted between runs of garbage, each closed by another kind of line break.
        const int planted = 1 + round % 4;
        std::string bytes = garbage();
        for (int i = 0; i < planted; ++i) {
            const std::string n = std::to_string(i), br = breaks[(round + i) % 3];
            bytes += br + " [ Planted" + n + " ]\t" + br + "\tKey" + n + " =\t\xC4rger; " + n + " \xFC " + br +
                     "[Not a section" + br + "Flag" + n + "=0x1" + br + garbage();
        }
        if (round % 3 == 0) bytes = "[Setup]\n" + bytes;
        TIniFile ini(SplitLines(bytes));
        for (int i = 0; i < planted; ++i) {
            const std::string n = std::to_string(i), section = "planted" + n;
            EXPECT_EQ(ini.ReadString(section, "KEY" + n, "lost"), "\xC4rger; " + n + " \xFC") << round;
            EXPECT_TRUE(ini.ReadBool(section, "Flag" + n, false)) << round;
            std::vector<std::string> lines = ini.ReadSection(section);
            ASSERT_GE(lines.size(), 3u) << round;
            EXPECT_EQ(lines[0], "Key" + n + "=\xC4rger; " + n + " \xFC") << round;
            EXPECT_EQ(lines[1], "[Not a section") << round;
        }
        EXPECT_FALSE(ini.SectionExists("Planted" + std::to_string(planted))) << round;
        EXPECT_EQ(ini.SectionExists("Setup"), round % 3 == 0) << round;
    }
    TIniFile oneLongLine({"[Setup]", "ProductName=" + std::string(3 << 20, 'x')});
    EXPECT_EQ(oneLongLine.ReadString("Setup", "ProductName", "").size(), size_t(3) << 20);
}
