#include "MessageBoxes.h"

#include <windows.h>

namespace {

int Show(const std::string& text, const std::string& title, UINT style)
{
    return MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), style | MB_TASKMODAL);
}

}  // namespace

std::string WithFullStop(const std::string& text)
{
    if (text.empty()) return text;
    char last = text.back();
    if (last == '.' || last == '!' || last == '?') return text;
    return text + ".";
}

void ShowErrorBox(const std::string& text, const std::string& title) { Show(WithFullStop(text), title, MB_OK | MB_ICONSTOP); }

void ShowWarningBox(const std::string& text) { Show(text, "Warning", MB_OK | MB_ICONWARNING); }

void ShowInformationBox(const std::string& text, const std::string& title)
{
    Show(text, title, MB_OK | MB_ICONINFORMATION);
}

bool AskConfirmation(const std::string& text) { return Show(text, "Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES; }

bool AskRetry(const std::string& text) { return Show(text, "Warning", MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY; }
