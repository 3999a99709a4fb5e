// The checks of the languages a product speaks: [Setup] Languages, the
// maker's texts per language and the licences per language.
#include "IniFile.h"
#include "LanguageTables.h"
#include "Languages.h"
#include "Messages.h"
#include "PathUtils.h"
#include "ProductChecker.h"
#include "TextUtils.h"
#include "WizardDesign.h"

namespace ProductChecks {

namespace {

// The texts of a language as Setup would show them: the installer's own
// table of it over the English, then `over`.
std::map<int, std::string> TextsOf(const std::string& tag, const std::vector<std::string>& over)
{
    std::map<int, std::string> texts = LanguageTableTexts(tag);
    for (const std::string& line : over)
        if (int id = MessageNamed(Trim(LineName(line)))) texts[id] = TextValue(LineValue(line));
    return texts;
}

bool ValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

}  // namespace

void TChecker::CheckLanguages()
{
    const TSetupFacts& facts = FModel.Facts();
    std::vector<std::string> unknown;
    std::vector<std::string> shipped = ShippedLanguages(facts.Languages, &unknown);
    for (const std::string& tag : unknown)
        Add(FIniPath, LineOf("Setup", "Languages"), true,
            "Languages: \"" + tag + "\" is none of the languages " + KnownLanguageTags());
    auto ships = [&](const std::string& tag) {
        return tag == "en" || std::find(shipped.begin(), shipped.end(), tag) != shipped.end();
    };

    // The maker's texts: a language Setup never speaks, and keys two texts of one page now share.
    for (const auto& [tag, lines] : facts.Texts) {
        int line = SectionLine("Texts." + tag);
        if (!ships(tag)) {
            std::string told = "[Texts." + tag;
            told += "]: Languages does not list " + tag;
            told += ", so Setup never speaks it";
            Add(FIniPath, line, false, told);
            continue;
        }
        std::map<int, std::string> texts = TextsOf(tag, lines);
        auto shown = [&](int id) { return texts.count(id) ? texts[id] : LoadStoredMessage(id); };
        for (int page = 0; page < Wizard::PageCount; ++page) {
            auto english = Wizard::AcceleratorClashes(Wizard::TPage(page), LoadStoredMessage);
            for (const auto& clash : Wizard::AcceleratorClashes(Wizard::TPage(page), shown))
                if (std::find(english.begin(), english.end(), clash) == english.end())
                    Add(FIniPath, line, false,
                        "[Texts." + tag + "]: \"" + shown(clash.first) + "\" and \"" + shown(clash.second) +
                            "\" are on one page and use the same accelerator (&" + AcceleratorOf(shown(clash.first)) +
                            "); the key reaches only the first");
        }
    }

    // Licences per language: a known tag, a text the installer reads, and one for each language once there are any.
    std::vector<std::string> withLicence;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(FFolder, ec)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.size() <= 10 || !SameTextAscii(name.substr(0, 6), "Setup.") ||
            !SameTextAscii(name.substr(name.size() - 4), ".lic"))
            continue;
        std::string tag = name.substr(6, name.size() - 10);
        const TLanguage* language = FindLanguage(tag);
        if (!language) {
            Add(entry.path(), 0, false,
                "\"" + tag + "\" is none of the languages " + KnownLanguageTags() + "; Setup never shows this licence");
            continue;
        }
        withLicence.push_back(language->Tag);
        std::string text = ReadText(entry.path());
        bool utf16 = text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0;
        if (!utf16 && (!ValidUtf8(text) || text.find('\0') != std::string::npos))
            Add(entry.path(), 0, true,
                "is neither UTF-8 nor UTF-16 with a byte order mark: the installer would show it garbled on a "
                "computer set to another code page; save it as UTF-8");
    }
    if (withLicence.empty()) return;
    std::vector<std::string> without;
    for (const std::string& tag : shipped)
        if (std::find(withLicence.begin(), withLicence.end(), tag) == withLicence.end()) without.push_back(tag);
    if (!without.empty())
        Add(FFolder / "Setup.lic", 0, false,
            "the product ships licences per language, and none for " + JoinLanguageTags(without) +
                ": Setup shows Setup.lic in those");
}

}  // namespace ProductChecks
