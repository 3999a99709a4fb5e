#include "ProductChecker.h"

#include <algorithm>
#include <fstream>

#include "Messages.h"
#include "PathUtils.h"
#include "ProductFolder.h"
#include "SetupIniReference.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace ProductChecks {

const std::map<std::string, std::vector<std::string>> KnownKeys = [] {
    std::map<std::string, std::vector<std::string>> keys;
    for (const TIniSectionReference& section : SetupIniSections())
        if (!section.List)
            for (const TIniKeyReference& key : section.Keys) keys[section.Name].push_back(key.Name);
    return keys;
}();
const std::vector<std::string> ListSections = [] {
    std::vector<std::string> names;
    for (const TIniSectionReference& section : SetupIniSections())
        if (section.List) names.push_back(section.Name);
    return names;
}();
const std::set<std::string> KnownVariables = [] {
    std::set<std::string> names;
    for (const auto* list : {&SetupIniFolderVariables(), &SetupIniTextVariables()})
        for (const TNameReference& variable : *list) names.insert(variable.Name);
    return names;
}();
std::vector<std::string> LocationNames()
{
    std::vector<std::string> names;
    for (const TNameReference& location : ShortcutLocations()) names.push_back(location.Name);
    return names;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return text;
}

namespace {

size_t Distance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (Upper(a.substr(i - 1, 1)) == Upper(b.substr(j - 1, 1)) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string Nearest(const std::string& name, const std::vector<std::string>& candidates)
{
    std::string best;
    size_t bestDistance = 3;  // suggest only what is close
    for (const std::string& candidate : candidates) {
        size_t d = Distance(name, candidate);
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    return best;
}

std::string Listed(const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

TPictureFacts ReadPictureFacts(const std::string& bytes)
{
    auto at = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    if (at(0) != 0xFF || at(1) != 0xD8) {
        if (bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) return {"is a PNG picture, not a JPEG"};
        if (bytes.compare(0, 3, "GIF") == 0) return {"is a GIF picture, not a JPEG"};
        if (bytes.compare(0, 2, "BM") == 0) return {"is a BMP picture, not a JPEG"};
        bool text = !bytes.empty() && std::all_of(bytes.begin(), bytes.begin() + long(std::min<size_t>(bytes.size(), 512)),
                                                  [](char c) { return c == '\t' || c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 32; });
        return {text ? "is text, not a JPEG picture" : "is not a JPEG picture (no JPEG start marker)"};
    }
    for (size_t i = 2; i + 3 < bytes.size();) {
        if (at(i) != 0xFF) return {"is a damaged JPEG picture (a marker is missing at byte " + std::to_string(i) + ")"};
        unsigned marker = at(i + 1);
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        size_t length = (at(i + 2) << 8) | at(i + 3);
        // Baseline, extended and progressive Huffman frames are read; the rest is not.
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            if (i + 9 >= bytes.size()) break;
            // The wizard draws grey (1 component) and colour (3) pictures; a
            // CMYK or YCCK one (4) is what print software saves.
            if (at(i + 9) == 4) return {"is a CMYK (or YCCK) JPEG picture; save it in RGB"};
            if (at(i + 9) != 1 && at(i + 9) != 3)
                return {"is a JPEG picture of " + std::to_string(at(i + 9)) + " colour components; save it in RGB"};
            return {"", int((at(i + 7) << 8) | at(i + 8)), int((at(i + 5) << 8) | at(i + 6))};
        }
        if ((marker >= 0xC3 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC))
            return {"is a lossless or arithmetic-coded JPEG, which the installer cannot read"};
        if (marker == 0xD9 || marker == 0xDA) break;
        i += 2 + length;
    }
    return {"is a JPEG picture that ends before its frame header"};
}

std::vector<TIniLine> ReadIniLines(const std::vector<std::string>& raw)
{
    std::vector<TIniLine> lines;
    std::string section;
    bool inSection = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        std::string line = Trim(raw[i]);
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            inSection = true;
            lines.push_back({int(i) + 1, section, line, true});
        } else if (inSection) {
            lines.push_back({int(i) + 1, section, line, false});
        }
    }
    return lines;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

namespace {

// UTF-16 text after its byte-order mark, as UTF-8.
std::string FromUtf16(const std::string& bytes, bool big)
{
    std::string text;
    auto unit = [&](size_t i) {
        auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        return uint32_t(big ? (first << 8) | second : (second << 8) | first);
    };
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t code = unit(i);
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        if (code < 0x80) {
            text += char(code);
        } else if (code < 0x800) {
            text += char(0xC0 | (code >> 6));
            text += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += char(0xE0 | (code >> 12));
            text += char(0x80 | ((code >> 6) & 0x3F));
            text += char(0x80 | (code & 0x3F));
        } else {
            text += char(0xF0 | (code >> 18));
            text += char(0x80 | ((code >> 12) & 0x3F));
            text += char(0x80 | ((code >> 6) & 0x3F));
            text += char(0x80 | (code & 0x3F));
        }
    }
    return text;
}

// The markup a text is written in, by how it begins: "HTML", "RTF", or
// empty for plain text.
std::string MarkupOf(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string head(4096, '\0');
    file.read(&head[0], std::streamsize(head.size()));
    head.resize(size_t(file.gcount()));
    for (const std::string& line : TextLines(head)) {
        std::string start = LowerAscii(Trim(line).substr(0, 14));
        if (start.empty()) continue;
        if (start == "<!doctype html" || start.compare(0, 5, "<html") == 0) return "HTML";
        if (start.compare(0, 5, "{\\rtf") == 0) return "RTF";
        return "";
    }
    return "";
}

// A readme opens in what Windows opens its name with: the markup it is
// written in must be the one its name says.
std::string ReadmeProblem(const fs::path& path)
{
    std::string name = path.filename().string(), extension = LowerAscii(path.extension().string());
    if (LowerAscii(name).compare(0, 6, "readme") != 0) return "";
    struct TKind {
        const char* Extension;
        const char* Markup;
        const char* OpensAs;
        const char* SavedAs;
    };
    static const TKind kinds[] = {{".txt", "", "plain text", "plain text"},
                                  {".rtf", "RTF", "an RTF document", "RTF"},
                                  {".htm", "HTML", "a web page", "HTML"},
                                  {".html", "HTML", "a web page", "HTML"}};
    const TKind* kind =
        std::find_if(std::begin(kinds), std::end(kinds), [&](const TKind& k) { return extension == k.Extension; });
    if (kind == std::end(kinds)) return "";
    std::string markup = MarkupOf(path);
    if (markup.empty() || markup == kind->Markup) return "";
    return FormatText(
        "is %s, but its name ends in \"%s\", so Windows opens it as %s and the customer would read its "
        "markup: name it \"%s\", or save it as %s",
        {markup, extension, kind->OpensAs, markup == "RTF" ? ".rtf" : ".htm", kind->SavedAs});
}

// A section of keys, where a key given twice is a mistake: the list
// sections repeat names on purpose, and an unknown one is not judged.
bool IsKeySection(const std::string& section)
{
    return std::any_of(KnownKeys.begin(), KnownKeys.end(),
                       [&](const auto& known) { return SameTextAscii(known.first, section); }) ||
           (section.size() > 6 && SameTextAscii(section.substr(0, 6), "Texts."));
}

bool IsListSection(const std::string& section)
{
    return std::any_of(ListSections.begin(), ListSections.end(),
                       [&](const std::string& list) { return SameTextAscii(list, section); });
}

// A key given again within one section of keys: the installer takes the last.
std::vector<std::pair<int, std::string>> RepeatedKeys(const std::vector<TIniLine>& lines)
{
    std::vector<std::pair<int, std::string>> found;
    std::map<std::string, int> first;
    bool keys = false;
    for (const TIniLine& line : lines) {
        if (line.IsSection) {
            first.clear();
            keys = IsKeySection(line.Section);
            continue;
        }
        if (!keys || line.Text.find('=') == std::string::npos) continue;
        std::string key = Trim(LineName(line.Text));
        auto [at, added] = first.emplace(Upper(key), line.Number);
        if (!added)
            found.emplace_back(line.Number,
                               FormatText("%s is given again (first on line %s); the installer takes the last",
                                          {key, std::to_string(at->second)}));
    }
    return found;
}

// A section header given again: the installer reads only the last section
// of a name, so what the earlier ones say is lost.
std::vector<std::pair<int, std::string>> RepeatedSections(const std::vector<TIniLine>& lines)
{
    struct TOccurrence {
        int Number;
        std::vector<std::string> Lines;
    };
    std::map<std::string, std::vector<TOccurrence>> sections;  // by name in capitals, in file order
    std::vector<TOccurrence>* current = nullptr;
    for (const TIniLine& line : lines) {
        if (line.IsSection) {
            current = &sections[Upper(line.Section)];
            current->push_back({line.Number, {}});
        } else if (current) {
            current->back().Lines.push_back(line.Text);
        }
    }
    std::vector<std::pair<int, std::string>> found;
    for (const TIniLine& header : lines) {
        if (!header.IsSection) continue;
        const std::vector<TOccurrence>& all = sections[Upper(header.Section)];
        if (all.size() < 2 || all.front().Number == header.Number) continue;
        std::string text = FormatText("[%s] appears again (first on line %s); the installer reads only the last [%s]",
                                      {header.Section, std::to_string(all.front().Number), header.Section});
        if (header.Number != all.back().Number) {
            text += FormatText(" (line %s)", {std::to_string(all.back().Number)});
        } else if (IsListSection(header.Section)) {
            size_t count = 0;
            for (size_t i = 0; i + 1 < all.size(); ++i) count += all[i].Lines.size();
            if (count > 0) {
                text += ", so it never reads the ";
                text += count == 1 ? std::string("line") : std::to_string(count) + " lines";
                text += " before it";
            }
        } else {
            // The keys given only before it.
            std::vector<std::string> lost;
            auto given = [](const std::vector<std::string>& among, const std::string& key) {
                return std::any_of(among.begin(), among.end(),
                                   [&](const std::string& k) { return SameTextAscii(k, key); });
            };
            std::vector<std::string> last;
            for (const std::string& line : all.back().Lines) last.push_back(Trim(LineName(line)));
            for (size_t i = 0; i + 1 < all.size(); ++i)
                for (const std::string& line : all[i].Lines) {
                    std::string key = Trim(LineName(line));
                    if (!key.empty() && !given(last, key) && !given(lost, key)) lost.push_back(key);
                }
            if (!lost.empty()) {
                text += ", so it never sees ";
                text += Listed(lost);
                text += " given before it";
            }
        }
        found.emplace_back(header.Number, text + ": merge them into one");
    }
    return found;
}

}  // namespace

// What the customer reads (the licences, the readmes the product installs)
// and the keys and sections Setup.ini gives twice.
void TChecker::CheckTexts()
{
    std::error_code listed;
    std::vector<fs::path> licences;
    for (const auto& entry : fs::directory_iterator(FFolder, listed)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file(listed) && name.size() >= 9 && SameTextAscii(name.substr(0, 6), "Setup.") &&
            SameTextAscii(name.substr(name.size() - 4), ".lic"))
            licences.push_back(entry.path());
    }
    std::sort(licences.begin(), licences.end());
    for (const fs::path& licence : licences) {
        std::string markup = MarkupOf(licence);
        if (!markup.empty())
            Add(licence, 1, false,
                FormatText("is %s; the licence page shows plain text, so the customer would read its markup: save it "
                           "as plain text",
                           {markup}));
    }
    std::error_code error;
    for (const fs::path& folder : ComponentFolders())
        for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
             entry.increment(error)) {
            bool isFolder = entry->is_directory(error);
            if (entry->is_symlink(error) || !JunkKind(entry->path().string(), isFolder).empty()) {
                if (isFolder) entry.disable_recursion_pending();
                continue;
            }
            std::string problem = isFolder ? std::string() : ReadmeProblem(entry->path());
            if (!problem.empty()) Add(entry->path(), 1, false, problem);
        }

    if (FIniPath.empty()) return;
    for (const auto& [number, text] : RepeatedKeys(FLines)) Add(FIniPath, number, false, text);
    // First on their lines: what the lost lines cause there (a key missing) follows from them.
    std::vector<TDiagnostic> sections;
    for (const auto& [number, text] : RepeatedSections(FLines))
        sections.push_back({FIniPath.string(), number, false, text});
    FFound.insert(FFound.begin(), sections.begin(), sections.end());
}

std::vector<std::string> ReadLines(const fs::path& path) { return TextLines(ReadText(path)); }

std::vector<std::string> TextLines(std::string text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) text = FromUtf16(text, text[0] == '\xFE');
    return SplitLines(text);
}

}  // namespace ProductChecks
