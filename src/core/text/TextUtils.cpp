#include "TextUtils.h"

#include <algorithm>

std::string Trim(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return text.substr(begin, end - begin);
}

int32_t StrToIntDef(const std::string& text, int32_t fallback, bool allowHex)
{
    int32_t value;
    return TryStrToInt(text, value, allowHex) ? value : fallback;
}

std::string UnsignedText(uint64_t value, unsigned base, size_t digits)
{
    char text[64];
    size_t start = sizeof text;
    do {
        text[--start] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0 && start > 0);
    std::string result(text + start, sizeof text - start);
    if (result.size() < digits) result.insert(0, digits - result.size(), '0');
    return result;
}

bool TryStrToInt(const std::string& s, int32_t& result, bool allowHex)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int base = 10;
    if (allowHex && i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (allowHex && i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == s.size()) return false;
    int64_t value = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int digit = c >= '0' && c <= '9' ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
        if (digit < 0) return false;
        value = value * base + digit;
        // Hexadecimal may spell the whole 32-bit pattern; decimal must fit.
        if (value > (base == 16 ? int64_t(UINT32_MAX) : int64_t(INT32_MAX) + 1)) return false;
    }
    if (base == 16) value = int64_t(int32_t(uint32_t(value)));
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    result = int32_t(value);
    return true;
}

std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with)
{
    if (what.empty()) return text;
    std::string result;
    size_t start = 0;
    for (size_t at; (at = text.find(what, start)) != std::string::npos; start = at + what.size())
        result.append(text, start, at - start).append(with);
    return result.append(text, start, std::string::npos);
}

std::string ReplaceFirst(const std::string& text, const std::string& what, const std::string& with)
{
    size_t at = what.empty() ? std::string::npos : text.find(what);
    if (at == std::string::npos) return text;
    return text.substr(0, at) + with + text.substr(at + what.size());
}

std::string LineName(const std::string& line)
{
    size_t at = line.find('=');
    return at == std::string::npos ? std::string() : line.substr(0, at);
}

std::string LineValue(const std::string& line)
{
    size_t at = line.find('=');
    return at == std::string::npos ? std::string() : line.substr(at + 1);
}

bool IsValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::string UpperAscii(const std::string& text)
{
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return upper;
}

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::string Unquote(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    for (size_t start = 0; start <= text.size();) {
        size_t end = std::min(text.find(',', start), text.size());
        items.push_back(Trim(text.substr(start, end - start)));
        start = end + 1;
    }
    return items;
}

std::string TimeLeftText(int seconds)
{
    // By hand rather than with the printf family, which the installer does not otherwise carry.
    seconds = seconds < 0 ? 0 : seconds;
    auto two = [](int value) { return std::string(value < 10 ? "0" : "") + std::to_string(value); };
    if (seconds >= 3600) return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
    return std::to_string(seconds / 60) + ":" + two(seconds % 60);
}
