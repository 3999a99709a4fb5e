#pragma once
// The languages Setup and the uninstaller speak: each one's tag, its name in
// English (for the run log and the maker) and in its own words (for a list
// the user picks from), whether it reads right to left; and which of them a
// user's preferred UI languages choose.
#include <string>
#include <vector>

struct TLanguage {
    const char* Tag;      // "de", "pt-BR", "zh-Hans"
    const char* Name;     // "German"
    const char* OwnName;  // UTF-8: "Deutsch"
    bool RightToLeft;
    unsigned short Lcid;  // Windows' number of the language and its main region: 0x0407
};

// Every language, English first, then by tag.
const std::vector<TLanguage>& Languages();
// The language of a tag written as the list writes it (any letter case); null for none.
const TLanguage* FindLanguage(const std::string& tag);
// The tags, joined by ", ": what a message naming the languages lists.
std::string JoinLanguageTags(const std::vector<std::string>& tags);
std::string KnownLanguageTags();
// Empty when `tag` is one of `spoken`; else why a program speaking those refuses it.
std::string RefusalToSpeak(const std::string& tag, const std::vector<std::string>& spoken);

// The tags of the list a preferred UI language (a BCP 47 tag as Windows
// gives it: "de-AT", "zh-TW", "sr-Latn-RS") would take, best first: the exact
// language (pt-BR for pt-BR), then the same language of another region. A
// Chinese script is never exchanged for the other (zh-TW, zh-HK and zh-MO
// read Traditional).
std::vector<std::string> LanguageCandidates(const std::string& preferred);
// The language of `available` that the preferences choose, in their order;
// English where none does.
std::string ChooseLanguage(const std::vector<std::string>& preferred, const std::vector<std::string>& available);
