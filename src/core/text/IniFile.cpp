#include "IniFile.h"

#include "PathUtils.h"
#include "TextUtils.h"

TIniFile::TIniFile(const std::vector<std::string>& lines)
{
    TSection* current = nullptr;
    for (const std::string& raw : lines) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            FSections.push_back({Trim(line.substr(1, line.size() - 2)), {}});
            current = &FSections.back();
            continue;
        }
        if (!current) continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            current->Lines.push_back(line);
        else
            current->Lines.push_back(Trim(line.substr(0, equals)) + "=" + Trim(line.substr(equals + 1)));
    }
}

const TIniFile::TSection* TIniFile::Find(const std::string& section) const
{
    for (auto it = FSections.rbegin(); it != FSections.rend(); ++it)
        if (SameTextAscii(it->Name, section)) return &*it;
    return nullptr;
}

bool TIniFile::SectionExists(const std::string& section) const { return Find(section) != nullptr; }

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& fallback) const
{
    const TSection* found = Find(section);
    if (!found) return fallback;
    for (auto it = found->Lines.rbegin(); it != found->Lines.rend(); ++it)
        if (it->find('=') != std::string::npos && SameTextAscii(LineName(*it), key)) return LineValue(*it);
    return fallback;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool fallback) const
{
    int32_t value;
    if (!TryStrToInt(ReadString(section, key, std::string()), value, true)) return fallback;
    return value != 0;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const
{
    const TSection* found = Find(section);
    return found ? found->Lines : std::vector<std::string>();
}
