// Every language the installer ships, held against the English: the table
// mksetup builds into each package that ships that language.
#include <gtest/gtest.h>

#include <set>

#include "IniFile.h"
#include "LanguageTables.h"
#include "Languages.h"
#include "Messages.h"
#include "PathUtils.h"
#include "TextUtils.h"
#include "UninstallLog.h"
#include "WizardDesign.h"

namespace {

// A text only a maker's setting fills ("$BundleSelectHeading") has nothing to translate.
bool OnlyVariables(const std::string& english)
{
    std::string rest = english;
    for (const std::string& placeholder : PlaceholdersOf(english)) rest = ReplaceFirst(rest, placeholder, "");
    return Trim(rest).empty();
}

// Long enough that leaving it as the English is an oversight, not a name.
bool LongProse(const std::string& english)
{
    std::string rest = english;
    for (const std::string& placeholder : PlaceholdersOf(english)) rest = ReplaceAll(rest, placeholder, "");
    return Trim(rest).size() > 12;
}

}  // namespace

TEST(LanguageTables, EveryLanguageSaysEverythingTheEnglishSays)
{
    for (const TLanguage& language : Languages()) {
        std::string tag = language.Tag;
        if (tag == "en") continue;
        auto file = LanguageTableFiles().find(tag);
        if (file == LanguageTableFiles().end()) {
            ADD_FAILURE() << "no languages/" << tag << ".ini";
            continue;
        }
        TIniFile ini(SplitLines(file->second));
        ASSERT_TRUE(ini.SectionExists("Texts." + tag)) << tag;
        std::map<int, std::string> texts;
        for (const std::string& line : ini.ReadSection("Texts." + tag)) {
            int id = MessageNamed(Trim(LineName(line)));
            EXPECT_NE(id, 0) << tag << ": " << LineName(line) << " names no text";
            EXPECT_EQ(texts.count(id), 0u) << tag << ": " << LineName(line) << " twice";
            if (id) texts[id] = TextValue(LineValue(line));
        }
        for (int id = Msg::First; id <= Msg::Last; ++id) {
            const char* english = BuiltinMessage(id);
            if (!english) continue;
            auto text = texts.find(id);
            if (text == texts.end()) {
                EXPECT_TRUE(OnlyVariables(english)) << tag << ": no text for \"" << english << "\"";
                continue;
            }
            const std::string& t = text->second;
            EXPECT_FALSE(Trim(t).empty()) << tag << ": empty text for \"" << english << "\"";
            EXPECT_EQ(PlaceholdersOf(t), PlaceholdersOf(english)) << tag << ": " << t;
            EXPECT_EQ(AcceleratorOf(t).empty(), AcceleratorOf(english).empty()) << tag << ": " << t;
            if (LongProse(english)) {
                EXPECT_NE(t, english) << tag << ": left in English";
            }
        }
        // Two texts of one page may share a key only where the English ones do.
        auto translated = [&](int id) { return texts.count(id) ? texts[id] : std::string(BuiltinMessage(id)); };
        auto english = [](int id) { return std::string(BuiltinMessage(id)); };
        for (int page = 0; page < Wizard::PageCount; ++page) {
            auto own = Wizard::AcceleratorClashes(Wizard::TPage(page), english);
            std::set<std::pair<int, int>> allowed(own.begin(), own.end());
            for (const auto& clash : Wizard::AcceleratorClashes(Wizard::TPage(page), translated))
                EXPECT_TRUE(allowed.count(clash)) << tag << ": \"" << translated(clash.first) << "\" and \""
                                                  << translated(clash.second) << "\" share a key on page " << page;
        }
    }
}

TEST(LanguageTables, APackageCarriesTheLanguagesItsMakerLists)
{
    std::vector<std::string> unknown;
    EXPECT_EQ(ShippedLanguages({"de", "EN", "pt-br", "xx"}, &unknown), (std::vector<std::string>{"de", "pt-BR"}));
    EXPECT_EQ(unknown, std::vector<std::string>{"xx"});
    EXPECT_EQ(ShippedLanguages({}).size(), Languages().size() - 1);
    EXPECT_EQ(LanguageTablesEntry({}), "");
    std::string entry = LanguageTablesEntry({"de", "ja"});
    EXPECT_NE(entry.find("[Texts.de]\r\n"), std::string::npos);
    EXPECT_NE(entry.find("[Texts.ja]\r\n"), std::string::npos);
    EXPECT_EQ(entry.find("[Texts.fr]"), std::string::npos);
    EXPECT_EQ(entry.find("\r\n;"), std::string::npos) << "comments travel";
}
