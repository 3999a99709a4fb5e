#include <gtest/gtest.h>

#include <cstdio>

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

TEST(TextUtils, UnsignedTextWritesWhatPrintfWrites)
{
    struct Case {
        uint64_t value;
        unsigned base;
        size_t digits;
        const char* format;  // the printf form it stands for
        const char* text;
    } cases[] = {
        {0, 10, 1, "%u", "0"},
        {7, 10, 1, "%u", "7"},
        {1234567890u, 10, 1, "%u", "1234567890"},
        {4294967295u, 10, 1, "%u", "4294967295"},
        {0, 10, 3, "%03u", "000"},
        {5, 10, 3, "%03u", "005"},
        {999, 10, 3, "%03u", "999"},
        {12345, 10, 3, "%03u", "12345"},
        {0, 16, 1, "%X", "0"},
        {10, 16, 1, "%X", "A"},
        {0xBEEF, 16, 1, "%X", "BEEF"},
        {4294967295u, 16, 1, "%X", "FFFFFFFF"},
        {0, 16, 8, "%08X", "00000000"},
        {0x1D9A2B3, 16, 8, "%08X", "01D9A2B3"},
        {0xFFFFFFFFu, 16, 8, "%08X", "FFFFFFFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UnsignedText(c.value, c.base, c.digits), c.text) << c.format << ' ' << c.value;
        char printed[32];
        std::snprintf(printed, sizeof printed, c.format, unsigned(c.value));
        EXPECT_EQ(UnsignedText(c.value, c.base, c.digits), printed) << c.format << ' ' << c.value;
    }
    EXPECT_EQ(UnsignedText(18446744073709551615ull), "18446744073709551615");
    EXPECT_EQ(UnsignedText(18446744073709551615ull, 16, 20), "0000FFFFFFFFFFFFFFFF");
}
