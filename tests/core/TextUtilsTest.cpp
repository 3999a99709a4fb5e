#include <gtest/gtest.h>

#include "TextUtils.h"

TEST(TextUtils, Utf8IsToldFromOtherCodePages)
{
    struct Case {
        const char* text;
        bool utf8;
    } cases[] = {
        {"", true},
        {"Plug", true},
        {"M\xC3\xBCller", true},                          // Müller
        {"\xE6\x97\xA5\xE6\x9C\xAC", true},               // 日本
        {"\xF0\x9F\x8E\xB9 Keys", true},                  // a four-byte character
        {"M\xFCller", false},                             // Müller in Windows-1252
        {"\x93quoted\x94", false},                        // 1252 quotation marks
        {"\xC3", false},                                  // cut short at the end
        {"\xE6\x97", false},                              // cut short at the end
        {"\xC3(", false},                                 // no continuation
        {"\xBC", false},                                  // a stray continuation
        {"\xC0\xAF", false},                              // an overlong "/"
        {"\xE0\x80\xAF", false},                          // an overlong "/"
        {"\xED\xA0\x80", false},                          // a surrogate
        {"\xF4\x90\x80\x80", false},                      // past U+10FFFF
        {"\xF5\x80\x80\x80", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.utf8) << '"' << c.text << '"';
}
