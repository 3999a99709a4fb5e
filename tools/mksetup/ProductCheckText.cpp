#include "ProductChecker.h"

#include <fstream>

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

}  // namespace

std::vector<std::string> ReadLines(const fs::path& path) { return TextLines(ReadText(path)); }

std::vector<std::string> TextLines(std::string text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) text = FromUtf16(text, text[0] == '\xFE');
    return SplitLines(text);
}

}  // namespace ProductChecks
