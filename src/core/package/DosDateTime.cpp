#include "DosDateTime.h"

#include <cmath>

namespace {

constexpr int64_t MSecsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(y + (month <= 2));
}

// 1899-12-30 as days since 1970-01-01.
const int64_t DelphiEpoch = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDateTime(const TDateParts& p)
{
    double days = double(DaysFromCivil(p.Year, p.Month, p.Day) - DelphiEpoch);
    double time = (p.Hour * 3600.0 + p.Minute * 60.0 + p.Second) / 86400.0;
    return days + time;
}

bool DecodeDateTime(double value, TDateParts& parts)
{
    // Years 1 to 9999 span about -693593 to 2958466 days.
    if (!std::isfinite(value) || value < -693594.0 || value > 2958466.0) return false;
    int64_t ms = std::llround(value * double(MSecsPerDay));
    int64_t days = ms / MSecsPerDay;
    int64_t timeOfDay = ms % MSecsPerDay;
    if (timeOfDay < 0) {
        // Before the epoch the fraction still counts forward within the day.
        timeOfDay = -timeOfDay;
    }
    CivilFromDays(days + DelphiEpoch, parts.Year, parts.Month, parts.Day);
    parts.Hour = int(timeOfDay / 3600000);
    parts.Minute = int(timeOfDay / 60000 % 60);
    parts.Second = int(timeOfDay / 1000 % 60);
    return true;
}

int32_t PartsToDosDateTime(const TDateParts& p)
{
    if (p.Year < 1980 || p.Year > 2107) return 0;
    uint32_t date = uint32_t(p.Year - 1980) << 9 | uint32_t(p.Month) << 5 | uint32_t(p.Day);
    uint32_t time = uint32_t(p.Hour) << 11 | uint32_t(p.Minute) << 5 | uint32_t(p.Second / 2);
    return int32_t(date << 16 | time);
}

int32_t DateTimeToDosDateTime(double value)
{
    TDateParts parts;
    if (!DecodeDateTime(value, parts)) return 0;
    return PartsToDosDateTime(parts);
}

TDateParts DosDateTimeToParts(int32_t dosDateTime)
{
    uint32_t v = uint32_t(dosDateTime);
    uint32_t date = v >> 16, time = v & 0xFFFF;
    TDateParts p;
    p.Year = int(date >> 9) + 1980;
    p.Month = int(date >> 5 & 15);
    p.Day = int(date & 31);
    p.Hour = int(time >> 11);
    p.Minute = int(time >> 5 & 63);
    p.Second = int(time & 31) * 2;
    return p;
}
