#include "MessageBoxes.h"

#include <windows.h>

#include "Messages.h"

namespace {

UINT ReadingStyle = 0;

int Show(const std::string& text, const std::string& title, UINT style)
{
    return MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), style | ReadingStyle | MB_TASKMODAL);
}

}  // namespace

void SetMessageBoxesRightToLeft(bool rightToLeft) { ReadingStyle = rightToLeft ? MB_RTLREADING | MB_RIGHT : 0; }

std::string WithFullStop(const std::string& text)
{
    if (text.empty()) return text;
    char last = text.back();
    if (last == '.' || last == '!' || last == '?') return text;
    // The ends of a sentence in other scripts: the ideographic full stop, the
    // full-width ! and ?, the Arabic question mark, the Devanagari danda.
    for (const char* mark : {"\xE3\x80\x82", "\xEF\xBC\x81", "\xEF\xBC\x9F", "\xD8\x9F", "\xE0\xA5\xA4"}) {
        size_t length = std::char_traits<char>::length(mark);
        if (text.size() >= length && text.compare(text.size() - length, length, mark) == 0) return text;
    }
    return text + ".";
}

void ShowErrorBox(const std::string& text, const std::string& title) { Show(WithFullStop(text), title, MB_OK | MB_ICONSTOP); }

void ShowWarningBox(const std::string& text) { Show(text, LoadMessage(Msg::WarningCaption), MB_OK | MB_ICONWARNING); }

void ShowInformationBox(const std::string& text, const std::string& title)
{
    Show(text, title.empty() ? LoadMessage(Msg::InformationCaption) : title, MB_OK | MB_ICONINFORMATION);
}

bool AskConfirmation(const std::string& text)
{
    return Show(text, LoadMessage(Msg::ConfirmCaption), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool AskRetry(const std::string& text)
{
    return Show(text, LoadMessage(Msg::WarningCaption), MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}
