// DateTime: days since 1899-12-30 as a double, the fraction being the time of day (local
// time, to the millisecond). Every conversion between date parts and DateTime goes through
// EncodeDateTime and DecodeDateTime, so a value written to disk reads back exactly equal.
//
//     const DateTime age = EncodeDateTime(2019, 1, 1, 10, 20, 30, 0);
//     DecodeDateTime(age).Hour; // 10
#pragma once

#include <cstdint>

namespace corvane {

using DateTime = double;

struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    friend bool operator==(const DateTimeParts&, const DateTimeParts&) = default;
};

constexpr std::int64_t kMSecsPerDay = 86'400'000;

// True for a valid calendar date and a time of 00:00:00.000 to 23:59:59.999.
bool IsValidDateTime(int year, int month, int day, int hour, int minute, int second,
                     int millisecond);

// Throws ConvertError for parts that are not valid (see IsValidDateTime).
DateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                        int millisecond);
inline DateTime EncodeDateTime(const DateTimeParts& p) {
    return EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond);
}

// Splits a value into its parts, rounding to the nearest millisecond.
DateTimeParts DecodeDateTime(DateTime value);

// Days since 1970-01-01 (proleptic Gregorian) of a date; the arithmetic behind both
// conversions, shared with the ISO 8601 reader for offsets that cross a day.
std::int64_t DaysFromCivil(int year, int month, int day);

// The local wall-clock time now, to the millisecond (converted as file times are,
// platform/FileTime.h).
DateTime Now();

} // namespace corvane
