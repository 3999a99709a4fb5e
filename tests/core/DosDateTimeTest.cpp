#include <gtest/gtest.h>

#include <cmath>

#include "DosDateTime.h"

TEST(DosDateTime, ConvertsCreationTimes)
{
    // 2024-03-15 10:30:20: date (44 << 9 | 3 << 5 | 15), time (10 << 11 | 30 << 5 | 10).
    double t = EncodeDateTime({2024, 3, 15, 10, 30, 20});
    EXPECT_EQ(DateTimeToDosDateTime(t), int32_t((44u << 9 | 3u << 5 | 15u) << 16 | (10u << 11 | 30u << 5 | 10u)));
    // Odd seconds are halved downwards.
    EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime({2024, 3, 15, 10, 30, 21})) & 31, 10);
    // The day count itself: 1899-12-30 is day 0, 2000-01-01 day 36526.
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0}), 36526.5);
}

TEST(DosDateTime, YearsOutside1980To2107GiveZero)
{
    EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime({1979, 12, 31, 23, 59, 58})), 0);
    EXPECT_NE(DateTimeToDosDateTime(EncodeDateTime({1980, 1, 1, 0, 0, 0})), 0);
    EXPECT_NE(DateTimeToDosDateTime(EncodeDateTime({2107, 12, 31, 23, 59, 58})), 0);
    EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime({2108, 1, 1, 0, 0, 0})), 0);
    EXPECT_EQ(DateTimeToDosDateTime(0.0), 0);
    EXPECT_EQ(DateTimeToDosDateTime(-1e300), 0);
    EXPECT_EQ(DateTimeToDosDateTime(std::nan("")), 0);
    EXPECT_EQ(DateTimeToDosDateTime(INFINITY), 0);
}

TEST(DosDateTime, RoundsToTheNearestMillisecond)
{
    // A hair before midnight rounds to the next day's 00:00:00.
    double almost = EncodeDateTime({2020, 2, 29, 0, 0, 0}) - 1e-10;
    TDateParts p;
    ASSERT_TRUE(DecodeDateTime(almost, p));
    EXPECT_EQ(p.Day, 29);
    EXPECT_EQ(p.Hour, 0);
}

TEST(DosDateTime, PartsRoundTrip)
{
    TDateParts in{2031, 7, 4, 23, 59, 58};
    TDateParts out = DosDateTimeToParts(PartsToDosDateTime(in));
    EXPECT_EQ(out.Year, 2031);
    EXPECT_EQ(out.Month, 7);
    EXPECT_EQ(out.Day, 4);
    EXPECT_EQ(out.Hour, 23);
    EXPECT_EQ(out.Minute, 59);
    EXPECT_EQ(out.Second, 58);
}
