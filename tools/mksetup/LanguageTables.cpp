#include "LanguageTables.h"

#include <algorithm>

#include "IniFile.h"
#include "Languages.h"
#include "Messages.h"
#include "PathUtils.h"
#include "TextUtils.h"
#include "UninstallLog.h"

std::map<int, std::string> LanguageTableTexts(const std::string& tag)
{
    std::map<int, std::string> texts;
    auto table = LanguageTableFiles().find(tag);
    if (table == LanguageTableFiles().end()) return texts;
    for (const std::string& line : TIniFile(SplitLines(table->second)).ReadSection("Texts." + tag))
        if (int id = MessageNamed(Trim(LineName(line)))) texts[id] = TextValue(LineValue(line));
    return texts;
}

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
        for (const std::string& raw : SplitLines(table->second)) {
            std::string line = Trim(raw);
            if (!line.empty() && line[0] != ';') entry += line + "\r\n";
        }
    }
    return entry;
}
