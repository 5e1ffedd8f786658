// TDateTime: days since 1899-12-30 as a double, the fraction being the time of day (local
// time, to the millisecond). Every conversion between date parts and TDateTime goes through
// EncodeDateTime and DecodeDateTime, so a value written to disk reads back exactly equal.
//
//     const TDateTime age = EncodeDateTime(2019, 1, 1, 10, 20, 30, 0);
//     DecodeDateTime(age).Hour; // 10
#pragma once

#include <cstdint>

namespace corvane {

using TDateTime = double;

struct TDateTimeParts {
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
    friend bool operator==(const TDateTimeParts&, const TDateTimeParts&) = default;
};

constexpr std::int64_t MSecsPerDay = 86'400'000;

// True for a valid calendar date and a time of 00:00:00.000 to 23:59:59.999.
bool IsValidDateTime(int year, int month, int day, int hour, int minute, int second,
                     int millisecond);

// Throws EConvertError for parts that are not valid (see IsValidDateTime).
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);
inline TDateTime EncodeDateTime(const TDateTimeParts& p) {
    return EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
}

// Splits a value into its parts, rounding to the nearest millisecond.
TDateTimeParts DecodeDateTime(TDateTime value);

// Days since 1970-01-01 (proleptic Gregorian) of a date; the arithmetic behind both
// conversions, shared with the ISO 8601 reader for offsets that cross a day.
std::int64_t DaysFromCivil(int year, int month, int day);

// The local wall-clock time now, to the millisecond (converted as file times are,
// platform/FileTime.h).
TDateTime Now();

} // namespace corvane
