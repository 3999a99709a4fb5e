#include "MessageBoxes.h"

#include <windows.h>

std::string WithFullStop(const std::string& text)
{
    if (text.empty()) return text;
    char last = text.back();
    if (last == '.' || last == '!' || last == '?') return text;
    return text + ".";
}

void ShowErrorBox(const std::string& text, const std::string& title)
{
    MessageBoxA(nullptr, WithFullStop(text).c_str(), title.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void ShowInformationBox(const std::string& text, const std::string& title)
{
    MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
}
