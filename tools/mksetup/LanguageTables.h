#pragma once
// The installer's own texts in every language but English, as the files of
// languages/ hold them (a [Texts.TAG] section each), by tag; and what a
// product that ships some of them packs.
#include <map>
#include <string>
#include <vector>

const std::map<std::string, std::string>& LanguageTableFiles();

// The texts of a language's table by message id, as Setup lays them over
// its English; empty for English and for a tag without a table.
std::map<int, std::string> LanguageTableTexts(const std::string& tag);

// [Setup] Languages of Setup.ini's lines, as listed; empty when there is none.
std::vector<std::string> ListedLanguages(const std::vector<std::string>& setupIni);
// The tags [Setup] Languages names (all when it is empty), English left out;
// an unknown tag goes to `unknown`.
std::vector<std::string> ShippedLanguages(const std::vector<std::string>& listed,
                                          std::vector<std::string>* unknown = nullptr);
// The package entry with the tables of those languages, comments left out;
// empty for none.
std::string LanguageTablesEntry(const std::vector<std::string>& tags);
