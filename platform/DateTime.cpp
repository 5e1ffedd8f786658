#include "platform/DateTime.h"

#include "platform/Errors.h"

#include <cmath>

namespace corvane {

namespace {

// Day number (days since 1970-01-01) of 1899-12-30, the day DateTime counts from.
constexpr std::int64_t kEpochDays = -25'569;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Inverse of DaysFromCivil (H. Hinnant's civil_from_days).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
    const std::int64_t z = days + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const auto doe = static_cast<unsigned>(z - era * 146'097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

} // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned mp = static_cast<unsigned>(month > 2 ? month - 3 : month + 9);
    const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146'097 + static_cast<std::int64_t>(doe) - 719'468;
}

bool IsValidDateTime(int year, int month, int day, int hour, int minute, int second,
                     int millisecond) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month) && hour >= 0 && hour < 24 && minute >= 0 &&
           minute < 60 && second >= 0 && second < 60 && millisecond >= 0 && millisecond < 1000;
}

DateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                        int millisecond) {
    if (!IsValidDateTime(year, month, day, hour, minute, second, millisecond))
        throw ConvertError("Invalid argument to date encode");
    const auto days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
    const double time =
        static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) /
        static_cast<double>(kMSecsPerDay);
    // Before the epoch the integer part counts days backwards while the fraction still
    // counts the time of day forwards.
    return days >= 0 ? days + time : days - time;
}

DateTimeParts DecodeDateTime(DateTime value) {
    const auto total = static_cast<std::int64_t>(std::llround(std::fabs(value) * kMSecsPerDay));
    std::int64_t days = total / kMSecsPerDay;
    const std::int64_t msOfDay = total % kMSecsPerDay;
    if (value < 0)
        days = -days;
    DateTimeParts p;
    CivilFromDays(days + kEpochDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(msOfDay / 3'600'000);
    p.minute = static_cast<int>(msOfDay / 60'000 % 60);
    p.second = static_cast<int>(msOfDay / 1000 % 60);
    p.millisecond = static_cast<int>(msOfDay % 1000);
    return p;
}

} // namespace corvane
