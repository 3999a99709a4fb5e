#pragma once
// Text helpers with the installer's rules for blanks, numbers and names.
#include <cstdint>
#include <string>
#include <vector>

// Removes leading and trailing blanks and control characters (bytes up to 32).
std::string Trim(const std::string& text);
// Optional leading blanks and sign, then decimal digits only (with allowHex
// also "$" or "0x" and hexadecimal digits); anything else gives `fallback`.
bool TryStrToInt(const std::string& text, int32_t& value, bool allowHex);
int32_t StrToIntDef(const std::string& text, int32_t fallback, bool allowHex);
// The number in decimal (base 10) or upper-case hexadecimal (base 16), with
// leading zeros up to `digits` digits: what printf's %0*u, %0*lX etc. write,
// without bringing printf into the program.
std::string UnsignedText(uint64_t value, unsigned base = 10, size_t digits = 1);
// The text with the ASCII letters a to z in upper case: a key for names that
// Windows compares without regard to case.
std::string UpperAscii(const std::string& text);
std::string LowerAscii(std::string text);
// The text without the double quotes around it, when it has both.
std::string Unquote(const std::string& text);
// The items of a comma-separated list, each trimmed; "" is one empty item.
std::vector<std::string> SplitList(const std::string& text);
// The text is well-formed UTF-8: no stray continuation byte, no sequence cut
// short, no overlong form, no surrogate, nothing past U+10FFFF.
bool IsValidUtf8(const std::string& text);
// Replaces every occurrence of `what` (exact case); inserted text is not searched again.
std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with);
// Replaces the first occurrence of `what` (exact case) only.
std::string ReplaceFirst(const std::string& text, const std::string& what, const std::string& with);

// A "name=value" line as list sections keep it: the name is the text before the
// first "=" (empty when there is none), the value the text after it.
std::string LineName(const std::string& line);
std::string LineValue(const std::string& line);

// "0:45", "12:05", "1:02:03": a time left as the status line shows it.
std::string TimeLeftText(int seconds);
