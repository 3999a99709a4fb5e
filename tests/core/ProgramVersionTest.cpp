#include <gtest/gtest.h>

#include "Exception.h"
#include "ProgramVersion.h"
#include "Stream.h"

namespace {

TProgramVersion Parse(const std::string& text)
{
    TProgramVersion v;
    v.ParseText(text);
    return v;
}

std::string ParseError(const std::string& text)
{
    TProgramVersion v;
    try {
        v.ParseText(text);
    } catch (const EProgramVersionError& e) {
        return e.Message();
    }
    return "(parsed)";
}

}  // namespace

TEST(ProgramVersion, ParsesMajorMinorRelease)
{
    struct Case {
        const char* text;
        int major, minor, release;
    } cases[] = {{"2", 2, 0, 0}, {"2.1", 2, 1, 0}, {"10.5", 10, 5, 0}, {"2.02.1", 2, 0, 2},
                 {"2.0x", 2, 0, 0}, {" 3.45", 3, 4, 5}, {"1.120", 1, 1, 2}};
    for (const Case& c : cases) {
        TProgramVersion v = Parse(c.text);
        EXPECT_EQ(v.Major, c.major) << c.text;
        EXPECT_EQ(v.Minor, c.minor) << c.text;
        EXPECT_EQ(v.Release, c.release) << c.text;
        EXPECT_EQ(v.Beta, 0) << c.text;
        EXPECT_FALSE(v.PressPreview) << c.text;
    }
}

TEST(ProgramVersion, RejectsTextsWithoutMajorOrMinor)
{
    for (const char* text : {".5", "x.5", "2.x", "abc", ""})
        EXPECT_EQ(ParseError(text), std::string("'") + text + "' is not a valid version number");
}

TEST(ProgramVersion, FailedParseKeepsPreviousValues)
{
    TProgramVersion v = Parse("3.21 press beta 4");
    EXPECT_THROW(v.ParseText("2.x"), EProgramVersionError);
    EXPECT_EQ(v.AsText(), "3.21 beta 4 (press preview)");
}

TEST(ProgramVersion, ParsesBetaAndPressPreview)
{
    EXPECT_EQ(Parse("2.02 beta 3").Beta, 3);
    EXPECT_EQ(Parse("2.02 beta 12").Beta, 12);
    EXPECT_EQ(Parse("2.02 Beta 3").Beta, 0);
    TProgramVersion preview = Parse("2.02 beta 3 (press preview)");
    // The two characters after "beta " are "3 ", which is not a number.
    EXPECT_EQ(preview.Beta, 0);
    EXPECT_TRUE(preview.PressPreview);
    EXPECT_FALSE(Parse("2.02 Press").PressPreview);
}

TEST(ProgramVersion, AsText)
{
    TProgramVersion v;
    EXPECT_EQ(v.AsText(), "0.00");
    v.Major = 2, v.Minor = 0, v.Release = 2;
    EXPECT_EQ(v.AsText(), "2.02");
    v.Beta = 3;
    v.PressPreview = true;
    EXPECT_EQ(v.AsText(), "2.02 beta 3 (press preview)");
    v.Major = 1, v.Minor = 12, v.Release = 0, v.Beta = -1, v.PressPreview = false;
    EXPECT_EQ(v.AsText(), "1.120");
}

TEST(ProgramVersion, Compare)
{
    EXPECT_EQ(Parse("2.02").Compare(Parse("2.02 beta 5")), 1);
    EXPECT_EQ(Parse("2.02 beta 5").Compare(Parse("2.02")), -1);
    EXPECT_EQ(Parse("2.02 beta 5").Compare(Parse("2.02 beta 7")), -1);
    EXPECT_EQ(Parse("2.02").Compare(Parse("2.02 press")), 0);
    EXPECT_EQ(Parse("3.00").Compare(Parse("2.99")), 1);
    EXPECT_EQ(Parse("2.10").Compare(Parse("2.9")), -1);
    EXPECT_EQ(Parse("2.03").Compare(Parse("2.02")), 1);
    TProgramVersion extreme;
    extreme.Major = INT32_MIN;
    EXPECT_EQ(extreme.Compare(Parse("2147483647")), -1);
}

TEST(ProgramVersion, RecordHasTheFixedBytes)
{
    TMemoryStream stream;
    Parse("2.02").SaveToStream(stream);
    const std::vector<uint8_t> expected = {0x9C, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0, 0, 0,
                                           0,    0,    0,    2,    0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(stream.Data(), expected);
}

TEST(ProgramVersion, RecordRoundTrip)
{
    TProgramVersion original = Parse("12.34 press beta 56");
    TMemoryStream stream;
    original.SaveToStream(stream);
    stream.SetPosition(0);
    TProgramVersion loaded;
    loaded.LoadFromStream(stream);
    EXPECT_EQ(loaded, original);
    EXPECT_EQ(stream.Position(), 25);
}

TEST(ProgramVersion, RecordChecksMarkerFormatAndLength)
{
    auto load = [](std::vector<uint8_t> bytes) {
        TMemoryStream stream(std::move(bytes));
        TProgramVersion v;
        v.LoadFromStream(stream);
        return v;
    };
    std::vector<uint8_t> good = {0x9C, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0, 0, 0,
                                 0,    0,    0,    2,    0, 0, 0, 0, 0, 0, 0, 7};
    EXPECT_TRUE(load(good).PressPreview);  // any non-zero byte reads as true

    std::vector<uint8_t> format2 = good;
    format2[4] = 2;
    std::vector<uint8_t> marker = good;
    marker[0] = 0x9D;
    for (const auto& bad : {format2, marker}) {
        try {
            load(bad);
            FAIL() << "accepted a bad record";
        } catch (const EProgramVersionError& e) {
            EXPECT_EQ(e.Message(), "Invalid version number on stream");
        }
    }
    std::vector<uint8_t> shortRecord(good.begin(), good.end() - 1);
    EXPECT_THROW(load(shortRecord), EReadError);
}
