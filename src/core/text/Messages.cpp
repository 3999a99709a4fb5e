#include "Messages.h"

#include <cctype>

#include "PathUtils.h"
#include "TextUtils.h"

namespace {

std::map<int, std::string>& MessageTexts()
{
    static std::map<int, std::string> texts;
    return texts;
}

size_t PlaceholderCount(const std::string& text)
{
    size_t count = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '%') {
            count += text[i + 1] == 's';
            ++i;
        }
    return count;
}

}  // namespace

std::string LoadMessage(int id)
{
    auto given = MessageTexts().find(id);
    return given != MessageTexts().end() ? given->second : LoadStoredMessage(id);
}

int MessageNamed(const std::string& name)
{
#define SETUP_MESSAGE(id, messageName, text) \
    if (SameTextAscii(name, #messageName)) return id;
#include "Messages.def"
#undef SETUP_MESSAGE
    return 0;
}

std::string MessageName(int id)
{
#define SETUP_MESSAGE(number, messageName, text) \
    if (id == number) return #messageName;
#include "Messages.def"
#undef SETUP_MESSAGE
    return std::string();
}

void SetMessageTexts(const std::map<int, std::string>& texts) { MessageTexts() = texts; }

std::string TextValue(const std::string& written) { return ReplaceAll(Unquote(written), "\\n", "\r"); }

std::vector<std::string> PlaceholdersOf(const std::string& text)
{
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            if (text[i + 1] == 's') found.push_back("%s");
            ++i;
        } else if (text[i] == '$') {
            size_t end = i + 1;
            while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
            if (end > i + 1) found.push_back(text.substr(i, end - i));
            i = end - 1;
        }
    }
    return found;
}

std::string AcceleratorOf(const std::string& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        auto lead = static_cast<unsigned char>(text[i + 1]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::string key = text.substr(i + 1, length);
        if (length == 1 && key[0] >= 'A' && key[0] <= 'Z') key[0] = char(key[0] - 'A' + 'a');
        return key;
    }
    return std::string();
}

bool SamePlaceholders(const std::string& text, const std::string& english)
{
    return PlaceholderCount(text) == PlaceholderCount(english);
}

std::string FormatText(const std::string& format, std::initializer_list<std::string> args)
{
    std::string result;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's') {
                if (next != args.end()) result += *next++;
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                result += '%';
                ++i;
                continue;
            }
        }
        result += format[i];
    }
    return result;
}

std::string FormatMessageText(int id, std::initializer_list<std::string> args)
{
    return FormatText(LoadMessage(id), args);
}
