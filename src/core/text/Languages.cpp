#include "Languages.h"

#include <algorithm>

#include "PathUtils.h"
#include "TextUtils.h"

namespace {

std::vector<std::string> Subtags(const std::string& tag)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : tag + "-") {
        if (c == '-' || c == '_') {
            if (!part.empty()) parts.push_back(LowerAscii(part));
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

}  // namespace

const std::vector<TLanguage>& Languages()
{
    static const std::vector<TLanguage> languages = {
        {"en", "English", "English", false, 0x0409},
        {"ar", "Arabic", "\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9", true, 0x0401},
        {"bg", "Bulgarian", "\xD0\x91\xD1\x8A\xD0\xBB\xD0\xB3\xD0\xB0\xD1\x80\xD1\x81\xD0\xBA\xD0\xB8", false, 0x0402},
        {"ca", "Catalan", "Catal\xC3\xA0", false, 0x0403},
        {"cs", "Czech", "\xC4\x8C" "e\xC5\xA1tina", false, 0x0405},
        {"da", "Danish", "Dansk", false, 0x0406},
        {"de", "German", "Deutsch", false, 0x0407},
        {"el", "Greek", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC", false, 0x0408},
        {"es", "Spanish", "Espa\xC3\xB1ol", false, 0x0C0A},
        {"et", "Estonian", "Eesti", false, 0x0425},
        {"fa", "Persian", "\xD9\x81\xD8\xA7\xD8\xB1\xD8\xB3\xDB\x8C", true, 0x0429},
        {"fi", "Finnish", "Suomi", false, 0x040B},
        {"fr", "French", "Fran\xC3\xA7" "ais", false, 0x040C},
        {"he", "Hebrew", "\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA", true, 0x040D},
        {"hi", "Hindi", "\xE0\xA4\xB9\xE0\xA4\xBF\xE0\xA4\xA8\xE0\xA5\x8D\xE0\xA4\xA6\xE0\xA5\x80", false, 0x0439},
        {"hr", "Croatian", "Hrvatski", false, 0x041A},
        {"hu", "Hungarian", "Magyar", false, 0x040E},
        {"id", "Indonesian", "Bahasa Indonesia", false, 0x0421},
        {"it", "Italian", "Italiano", false, 0x0410},
        {"ja", "Japanese", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", false, 0x0411},
        {"ko", "Korean", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4", false, 0x0412},
        {"lt", "Lithuanian", "Lietuvi\xC5\xB3", false, 0x0427},
        {"lv", "Latvian", "Latvie\xC5\xA1u", false, 0x0426},
        {"nb", "Norwegian (Bokm\xC3\xA5l)", "Norsk bokm\xC3\xA5l", false, 0x0414},
        {"nl", "Dutch", "Nederlands", false, 0x0413},
        {"pl", "Polish", "Polski", false, 0x0415},
        {"pt-BR", "Portuguese (Brazil)", "Portugu\xC3\xAAs (Brasil)", false, 0x0416},
        {"pt-PT", "Portuguese (Portugal)", "Portugu\xC3\xAAs (Portugal)", false, 0x0816},
        {"ro", "Romanian", "Rom\xC3\xA2n\xC4\x83", false, 0x0418},
        {"ru", "Russian", "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9", false, 0x0419},
        {"sk", "Slovak", "Sloven\xC4\x8Dina", false, 0x041B},
        {"sl", "Slovenian", "Sloven\xC5\xA1\xC4\x8Dina", false, 0x0424},
        {"sr-Latn", "Serbian (Latin)", "Srpski", false, 0x241A},
        {"sv", "Swedish", "Svenska", false, 0x041D},
        {"th", "Thai", "\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2", false, 0x041E},
        {"tr", "Turkish", "T\xC3\xBCrk\xC3\xA7" "e", false, 0x041F},
        {"uk", "Ukrainian", "\xD0\xA3\xD0\xBA\xD1\x80\xD0\xB0\xD1\x97\xD0\xBD\xD1\x81\xD1\x8C\xD0\xBA\xD0\xB0", false, 0x0422},
        {"vi", "Vietnamese", "Ti\xE1\xBA\xBFng Vi\xE1\xBB\x87t", false, 0x042A},
        {"zh-Hans", "Chinese (Simplified)", "\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87", false, 0x0804},
        {"zh-Hant", "Chinese (Traditional)", "\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87", false, 0x0404},
    };
    return languages;
}

const TLanguage* FindLanguage(const std::string& tag)
{
    for (const TLanguage& language : Languages())
        if (SameTextAscii(language.Tag, tag)) return &language;
    return nullptr;
}

std::string JoinLanguageTags(const std::vector<std::string>& tags)
{
    std::string text;
    for (const std::string& tag : tags) text += (text.empty() ? "" : ", ") + tag;
    return text;
}

std::string KnownLanguageTags()
{
    std::vector<std::string> tags;
    for (const TLanguage& language : Languages()) tags.push_back(language.Tag);
    return JoinLanguageTags(tags);
}

std::string RefusalToSpeak(const std::string& tag, const std::vector<std::string>& spoken)
{
    if (std::find(spoken.begin(), spoken.end(), tag) != spoken.end()) return std::string();
    const TLanguage* language = FindLanguage(tag);
    return "/LANG=" + tag + ": this program does not speak " + (language ? language->Name : tag.c_str()) +
           "; it speaks " + JoinLanguageTags(spoken);
}

std::vector<std::string> LanguageCandidates(const std::string& preferred)
{
    std::vector<std::string> parts = Subtags(preferred);
    if (parts.empty()) return {};
    std::string language = parts[0];
    auto has = [&](const char* subtag) { return std::find(parts.begin() + 1, parts.end(), subtag) != parts.end(); };
    // Codes Windows and older systems still give for some of them.
    if (language == "iw") language = "he";
    if (language == "in") language = "id";
    if (language == "no" || language == "nn") language = "nb";
    if (language == "zh") {
        bool traditional = has("hant") || (!has("hans") && (has("tw") || has("hk") || has("mo")));
        return {traditional ? "zh-Hant" : "zh-Hans"};
    }
    if (language == "pt") return has("br") ? std::vector<std::string>{"pt-BR", "pt-PT"}
                                           : std::vector<std::string>{"pt-PT", "pt-BR"};
    if (language == "sr") return {"sr-Latn"};
    if (FindLanguage(language)) return {FindLanguage(language)->Tag};
    return {};
}

std::string ChooseLanguage(const std::vector<std::string>& preferred, const std::vector<std::string>& available)
{
    for (const std::string& tag : preferred)
        for (const std::string& candidate : LanguageCandidates(tag))
            for (const std::string& offered : available)
                if (SameTextAscii(offered, candidate)) return FindLanguage(candidate)->Tag;
    return "en";
}
