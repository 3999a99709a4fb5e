#include "Messages.h"

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
