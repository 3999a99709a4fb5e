#include <gtest/gtest.h>

#include "Messages.h"

TEST(Messages, FormatTextReplacesInOrderAndNeverRescans)
{
    EXPECT_EQ(FormatText("'%s' and '%s'", {"a", "b"}), "'a' and 'b'");
    EXPECT_EQ(FormatText("100%% %s", {"%s%d"}), "100% %s%d");
    EXPECT_EQ(FormatText("%s %s", {"only"}), "only ");
    EXPECT_EQ(FormatText("trailing %", {}), "trailing %");
}

TEST(Messages, TableCoversItsRangeWithTheDesignTexts)
{
    EXPECT_EQ(LoadMessage(Msg::FileInstallFailed),
              "Cannot install the file '%s'.\r\rPlease close all running applications to make sure the file is not "
              "in use before retrying.");
    EXPECT_EQ(LoadMessage(65258),
              "There is not enough space on the destination drive.\rPlease free up some space and then try again");
    EXPECT_EQ(LoadMessage(65263), "You need to install at least one item.");
    EXPECT_EQ(LoadMessage(65215), "");
    EXPECT_EQ(LoadMessage(Msg::Last + 1), "");
    EXPECT_EQ(FormatMessageText(Msg::InvalidVersionText, {"x.5"}), "'x.5' is not a valid version number");
}

TEST(Messages, LoadedTextsEqualTheList)
{
    // Under Windows the texts come from the program's resources: every entry
    // must arrive exactly as listed, escapes and quotes included.
    int present = 0;
    for (int id = Msg::First; id <= Msg::Last; ++id) {
        const char* listed = BuiltinMessage(id);
        EXPECT_EQ(LoadMessage(id), listed ? listed : "") << id;
        present += listed != nullptr;
    }
    EXPECT_GE(present, 40);
}
