#pragma once
// Time stamps: the package's creation time is a day count since 1899-12-30
// (the fraction is the time of day, local time); files carry DOS date-times.
#include <cstdint>

struct TDateParts {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// Days since 1899-12-30 00:00 for a calendar date and time.
double EncodeDateTime(const TDateParts& parts);
// The calendar date and time of a day count, to the nearest millisecond (the
// milliseconds themselves are dropped). False when the value is not a finite
// number within the years 1 to 9999.
bool DecodeDateTime(double value, TDateParts& parts);
// High 16 bits date, low 16 bits time; 0 for a year outside 1980 to 2107.
int32_t DateTimeToDosDateTime(double value);
int32_t PartsToDosDateTime(const TDateParts& parts);
// The calendar parts of a DOS date-time (seconds even).
TDateParts DosDateTimeToParts(int32_t dosDateTime);
