#include "ProcessText.h"

#include <shellapi.h>

#include "TextUtils.h"

namespace {

// The ANSI code page the system keeps for programs that do not ask for UTF-8.
UINT SystemAnsiCodePage()
{
    UINT codePage = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t)) == 0 ||
        codePage == 0 || codePage == CP_UTF8)
        codePage = 1252;
    return codePage;
}

TWideText Widen(const std::string& text, UINT codePage)
{
    int size = text.empty() ? 0 : MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    TWideText wide(size_t(size > 0 ? size : 0) + 1, L'\0');
    if (size > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const wchar_t* text, int length, UINT codePage)
{
    if (length <= 0) return std::string();
    int size = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(codePage, 0, text, length, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string Narrow(const TWideText& text, UINT codePage) { return Narrow(text.data(), int(text.size()) - 1, codePage); }

}  // namespace

std::string ProcessText(const std::string& stored)
{
    bool ascii = true;
    for (char c : stored) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return stored;
    bool utf8 = IsValidUtf8(stored);
    if (GetACP() == CP_UTF8) return utf8 ? stored : Narrow(Widen(stored, SystemAnsiCodePage()), CP_UTF8);
    return utf8 ? Narrow(Widen(stored, CP_UTF8), CP_ACP) : stored;
}

std::string FromWide(const wchar_t* text, int length)
{
    if (!text) return std::string();
    return Narrow(text, length < 0 ? int(wcslen(text)) : length, CP_ACP);
}

TWideText ToWide(const std::string& text) { return Widen(text, CP_ACP); }

std::string Quoted(const std::string& argument)
{
    size_t backslashes = 0;
    while (backslashes < argument.size() && argument[argument.size() - 1 - backslashes] == '\\') ++backslashes;
    return "\"" + argument + std::string(backslashes, '\\') + "\"";
}

std::vector<std::string> CommandLineArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(FromWide(words[i]));
    LocalFree(words);
    return arguments;
}
