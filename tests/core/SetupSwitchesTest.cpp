#include <gtest/gtest.h>

#include "SetupSwitches.h"

TEST(SetupSwitches, ReadInAnyCaseQuotedOrNotAndUnknownOnesPassedOver)
{
    TSetupSwitches s = ParseSetupSwitches({"/s", "/Dir=\"C:\\Program Files\\Echo\"", "\"/VST2DIR=D:\\Vst\"",
                                           "/psdir=E:\\PS", "/FORMATS=VST3, aax,Photoshop", "/ITEMS=Echo,Delay",
                                           "/NAME=Ann Smith", "/noshortcuts", "/LOG=C:\\install.log", "/X", "other",
                                           "/CLEANUP", "/lang=EN"});
    EXPECT_TRUE(s.BadSwitch.empty()) << s.BadSwitch << ": " << s.BadReason;
    EXPECT_TRUE(s.Silent);
    EXPECT_EQ(s.Dir, "C:\\Program Files\\Echo");
    EXPECT_EQ(s.Vst2Dir, "D:\\Vst");
    EXPECT_EQ(s.PsDir, "E:\\PS");
    EXPECT_EQ(s.Formats, (std::vector<std::string>{"vst3", "aax", "photoshop"}));
    EXPECT_EQ(s.Items, (std::vector<std::string>{"Echo", "Delay"}));
    EXPECT_EQ(s.Name, "Ann Smith");
    EXPECT_TRUE(s.NoShortcuts);
    EXPECT_EQ(s.Log, "C:\\install.log");
    EXPECT_EQ(s.Language, "en");  // as the list writes it
    EXPECT_TRUE(s.WantsFormat("aax"));
    EXPECT_FALSE(s.WantsFormat("vst2"));

    TSetupSwitches none = ParseSetupSwitches({});
    EXPECT_FALSE(none.Silent);
    EXPECT_FALSE(none.Dir || none.Formats || none.Log);
    EXPECT_TRUE(none.WantsFormat("rtas"));  // without the switch, every format the wizard offers
}

TEST(SetupSwitches, ValuesThatCannotBeUsedNameTheirSwitch)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* bad;
    } cases[] = {
        {{"/FORMATS=vts3"}, "/FORMATS"},
        {{"/FORMATS=vst2,,aax"}, "/FORMATS"},
        {{"/FORMATS="}, "/FORMATS"},
        {{"/ITEMS=Echo,"}, "/ITEMS"},
        {{"/DIR="}, "/DIR"},
        {{"/DIR=\"\""}, "/DIR"},
        {{"/DIR"}, "/DIR"},
        {{"/NAME=  "}, "/NAME"},
        {{"/LOG"}, "/LOG"},
        {{"/LANG=pt"}, "/LANG"},  // Portuguese of which country
        {{"/LANG=xx"}, "/LANG"},
        {{"/LANG="}, "/LANG"},
        {{"/S", "/VST2DIR=", "/FORMATS=bad"}, "/VST2DIR"},  // the first one counts
        {{"/S", "/NOSHORTCUTS", "-FORMATS=bad", "FORMATS=bad"}, ""},  // not switches
    };
    for (const Case& c : cases) {
        TSetupSwitches s = ParseSetupSwitches(c.arguments);
        EXPECT_EQ(s.BadSwitch, c.bad) << c.arguments.front();
        EXPECT_EQ(s.BadReason.empty(), std::string(c.bad).empty()) << c.arguments.front();
    }
}
