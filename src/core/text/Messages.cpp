#include "Messages.h"

#include "PathUtils.h"

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

void SetMessageTexts(const std::map<int, std::string>& texts) { MessageTexts() = texts; }

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
