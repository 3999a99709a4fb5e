#include "LanguageTables.h"

#include <algorithm>

#include "IniFile.h"
#include "Languages.h"
#include "PathUtils.h"
#include "TextUtils.h"

std::vector<std::string> ListedLanguages(const std::vector<std::string>& setupIni)
{
    std::string listed = TIniFile(setupIni).ReadString("Setup", "Languages", "");
    return listed.empty() ? std::vector<std::string>() : SplitList(listed);
}

std::vector<std::string> ShippedLanguages(const std::vector<std::string>& listed, std::vector<std::string>* unknown)
{
    std::vector<std::string> tags;
    for (const TLanguage& language : Languages()) {
        bool wanted = listed.empty();
        for (const std::string& tag : listed) wanted = wanted || SameTextAscii(tag, language.Tag);
        if (wanted && language.Tag != std::string("en")) tags.push_back(language.Tag);
    }
    if (unknown)
        for (const std::string& tag : listed)
            if (!FindLanguage(tag)) unknown->push_back(tag);
    return tags;
}

std::string LanguageTablesEntry(const std::vector<std::string>& tags)
{
    std::string entry;
    for (const std::string& tag : tags) {
        auto table = LanguageTableFiles().find(tag);
        if (table == LanguageTableFiles().end()) continue;
        const std::string& text = table->second;
        for (size_t start = 0; start < text.size();) {
            size_t end = std::min(text.find('\n', start), text.size());
            std::string line = Trim(text.substr(start, end - start));
            if (!line.empty() && line[0] != ';') entry += line + "\r\n";
            start = end + 1;
        }
    }
    return entry;
}
