#include <gtest/gtest.h>

#include <set>

#include "Languages.h"

TEST(Languages, FortyTagsEachOnceWithBothNames)
{
    std::set<std::string> tags;
    for (const TLanguage& language : Languages()) {
        EXPECT_TRUE(tags.insert(language.Tag).second) << language.Tag;
        EXPECT_NE(std::string(language.Name), "");
        EXPECT_NE(std::string(language.OwnName), "");
        EXPECT_EQ(FindLanguage(language.Tag), &language);
    }
    EXPECT_EQ(tags.size(), 40u);
    EXPECT_STREQ(Languages().front().Tag, "en");
    for (const char* tag : {"ar", "he", "fa"}) EXPECT_TRUE(FindLanguage(tag)->RightToLeft) << tag;
    EXPECT_FALSE(FindLanguage("de")->RightToLeft);
    EXPECT_STREQ(FindLanguage("ZH-hant")->Tag, "zh-Hant");
    EXPECT_EQ(FindLanguage("pt"), nullptr);  // which country's is for the user to say
}

TEST(Languages, ThePreferencesChooseInTheirOrderExactFirstThenTheLanguageElseEnglish)
{
    const std::vector<std::string> all = [] {
        std::vector<std::string> tags;
        for (const TLanguage& language : Languages()) tags.push_back(language.Tag);
        return tags;
    }();
    struct Case {
        std::vector<std::string> preferred, available;
        const char* chosen;
    } cases[] = {
        {{"de-DE"}, all, "de"},
        {{"de-AT", "fr-FR"}, all, "de"},
        {{"pt-BR"}, all, "pt-BR"},
        {{"pt-PT"}, all, "pt-PT"},
        {{"pt-AO"}, all, "pt-PT"},
        {{"pt-BR"}, {"en", "pt-PT"}, "pt-PT"},           // the same language of another region
        {{"pt-BR", "es-ES"}, {"en", "pt-PT", "es"}, "pt-PT"},
        {{"zh-CN"}, all, "zh-Hans"},
        {{"zh-SG"}, all, "zh-Hans"},
        {{"zh-TW"}, all, "zh-Hant"},
        {{"zh-HK"}, all, "zh-Hant"},
        {{"zh-MO"}, all, "zh-Hant"},
        {{"zh-Hant-TW"}, all, "zh-Hant"},
        {{"zh-Hans-HK"}, all, "zh-Hans"},
        {{"zh-TW", "ja-JP"}, {"en", "zh-Hans", "ja"}, "ja"},  // never the other script
        {{"zh-TW"}, {"en", "zh-Hans"}, "en"},
        {{"sr-Latn-RS"}, all, "sr-Latn"},
        {{"nn-NO"}, all, "nb"},
        {{"no"}, all, "nb"},
        {{"iw-IL"}, all, "he"},
        {{"ar-SA"}, all, "ar"},
        {{"fa-IR"}, all, "fa"},
        {{"af-ZA", "xx", "", "ko-KR"}, all, "ko"},             // unknown ones are passed over
        {{"af-ZA"}, all, "en"},                               // never the first of the list
        {{"ja-JP"}, {"en"}, "en"},
        {{}, all, "en"},
        {{"de_DE"}, all, "de"},
    };
    for (const Case& c : cases) {
        std::string preferred;
        for (const std::string& tag : c.preferred) preferred += tag + " ";
        EXPECT_EQ(ChooseLanguage(c.preferred, c.available), c.chosen) << preferred;
    }
}

TEST(Languages, ALanguageTheProgramDoesNotSpeakIsRefusedWithTheList)
{
    EXPECT_EQ(RefusalToSpeak("de", {"en", "de"}), "");
    EXPECT_EQ(RefusalToSpeak("ja", {"en", "de"}), "/LANG=ja: this program does not speak Japanese; it speaks en, de");
}
