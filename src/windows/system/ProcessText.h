#pragma once
// The program's text is in its process code page: UTF-8 on every Windows that
// runs it so (Windows 10 version 1903 and later, as its manifest asks, and
// Wine), the ANSI code page on older ones. Text it reads that this Windows did
// not hand it (Setup.ini, the names in the package, the log of an earlier
// version) may be in either: it is brought into the process code page here.
#include <windows.h>

#include <string>
#include <vector>

// Wide text that ends in a null character, so data() is a C string. (A
// vector, not std::wstring: that would bring the whole wide-string library
// into the program for a few conversions.)
using TWideText = std::vector<wchar_t>;

// Stored text in the process code page. Valid UTF-8 is taken as UTF-8, any
// other text as the system's ANSI code page (Windows-1252 where none is known).
std::string ProcessText(const std::string& stored);

// Wide text from and to the process code page, for the calls whose ANSI form
// miscounts multi-byte text.
std::string FromWide(const wchar_t* text, int length = -1);
TWideText ToWide(const std::string& text);

// The program's command-line arguments, without the program's own name.
std::vector<std::string> CommandLineArguments();
// One argument as CommandLineToArgvW reads it back: quoted, with the
// backslashes before the closing quote doubled.
std::string Quoted(const std::string& argument);
