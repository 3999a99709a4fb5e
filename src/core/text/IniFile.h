#pragma once
// The reading rules of Setup.ini:
//  1. lines are trimmed of blanks and control characters; empty lines and lines
//     starting with ";" are ignored;
//  2. "[name]" opens a section (name trimmed); lines before the first are ignored;
//  3. other lines are split at their first "=" into name and value, both
//     trimmed, and kept as name=value; a line without "=" is kept as it is;
//  4. section and key names match without regard to case; of a repeated
//     section only the last counts; of a repeated key the last wins; a list
//     section keeps all its lines in file order;
//  5. booleans are whole numbers (0 false, anything else true; "0x" or "$" for
//     hexadecimal); a missing key or a value that is no number gives the default.
#include <string>
#include <vector>

class TIniFile {
public:
    explicit TIniFile(const std::vector<std::string>& lines);

    bool SectionExists(const std::string& section) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;
    bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
    // Every line of the section in file order; empty when there is no such section.
    std::vector<std::string> ReadSection(const std::string& section) const;

private:
    struct TSection {
        std::string Name;
        std::vector<std::string> Lines;
    };
    const TSection* Find(const std::string& section) const;
    std::vector<TSection> FSections;
};
