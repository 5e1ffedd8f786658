#include "update/Iso8601.h"

#include "update/Errors.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace corvane {

namespace {

// Day number (days since 1970-01-01) of 1899-12-30, the day DateTime counts from.
constexpr std::int64_t kEpochDays = -25'569;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void Fail(const char* what, std::string_view text) {
    std::string message(what);
    message.append(text);
    throw DateTimeException(message);
}

// Reads up to max digits at pos into value; returns how many were read.
int ReadDigits(std::string_view text, size_t& pos, int max, int& value) {
    int count = 0;
    value = 0;
    while (count < max && pos < text.size() && IsDigit(text[pos])) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++count;
    }
    return count;
}

struct DateParts {
    int year = 0;
    int month = 0;
    int day = 0;
};

DateParts ReadDate(std::string_view date, std::string_view text) {
    if (!date.empty() && date.front() == '-')
        date.remove_prefix(1);
    if (date.size() < 4)
        Fail("Invalid date string: ", text);
    DateParts d;
    size_t pos = 0;
    const int yearDigits = ReadDigits(date, pos, 4, d.year);
    if (yearDigits == 0)
        Fail("Invalid date string: ", text);
    if (yearDigits == 4 && pos < date.size() && IsDigit(date[pos])) {
        // Basic form: yyyymmdd.
        ReadDigits(date, pos, 2, d.month);
        ReadDigits(date, pos, 2, d.day);
        return d;
    }
    // Extended form: y-m-d. A month or day without digits stays 0 and is refused when the
    // value is built; whatever follows the day is ignored.
    if (pos >= date.size() || date[pos] != '-')
        Fail("Invalid date string: ", text);
    ++pos;
    ReadDigits(date, pos, 2, d.month);
    if (pos >= date.size() || date[pos] != '-')
        Fail("Invalid date string: ", text);
    ++pos;
    ReadDigits(date, pos, 2, d.day);
    return d;
}

struct TimeParts {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0; // rounded from the fraction; 1000 when it rounds up to a full second
    int offsetSign = 0;  // 0: no offset
    int offsetHour = 0;
    int offsetMinute = 0;
};

class TimeReader {
public:
    TimeReader(std::string_view time, std::string_view text) : time_(time), text_(text) {}

    TimeParts Read() {
        TimeParts t;
        // Components missing at the end of the text count as 0.
        if (AtEnd())
            return t;
        t.hour = TwoDigits();
        if (Is(':')) {
            ++pos_;
            if (!AtEnd()) {
                t.minute = TwoDigits();
                if (Is(':')) {
                    ++pos_;
                    if (!AtEnd()) {
                        t.second = TwoDigits();
                        t.millisecond = Fraction();
                    }
                }
            }
        } else if (!AtEnd() && IsDigit(time_[pos_])) {
            // Basic form: hhmmss.
            t.minute = TwoDigits();
            if (!AtEnd() && IsDigit(time_[pos_])) {
                t.second = TwoDigits();
                t.millisecond = Fraction();
            }
        }
        ReadOffset(t);
        return t;
    }

private:
    bool AtEnd() const { return pos_ >= time_.size(); }
    bool Is(char c) const { return !AtEnd() && time_[pos_] == c; }

    int TwoDigits() {
        int value = 0;
        if (ReadDigits(time_, pos_, 2, value) != 2)
            Fail("Invalid time string: ", text_);
        return value;
    }

    // A fraction of a second, rounded half up to the millisecond. Only its fourth digit
    // decides the rounding, so digits after it are read and dropped.
    int Fraction() {
        if (!Is('.'))
            return 0;
        ++pos_;
        if (AtEnd())
            return 0;
        if (!IsDigit(time_[pos_]))
            Fail("Invalid time string: ", text_);
        int ms = 0;
        int count = 0;
        for (; !AtEnd() && IsDigit(time_[pos_]); ++pos_, ++count) {
            const int digit = time_[pos_] - '0';
            if (count < 3)
                ms = ms * 10 + digit;
            else if (count == 3 && digit >= 5)
                ++ms;
        }
        for (; count < 3; ++count)
            ms *= 10;
        return ms;
    }

    void ReadOffset(TimeParts& t) {
        // "Z", nothing, or any other character: no offset, the rest ignored.
        if (!Is('+') && !Is('-'))
            return;
        t.offsetSign = time_[pos_] == '-' ? -1 : 1;
        ++pos_;
        if (AtEnd() || !IsDigit(time_[pos_]))
            Fail("Invalid time string: ", text_);
        ReadDigits(time_, pos_, 2, t.offsetHour);
        if (AtEnd())
            return;
        if (time_[pos_] != ':')
            Fail("Invalid time Offset string: ", text_);
        ++pos_;
        ReadDigits(time_, pos_, 2, t.offsetMinute);
    }

    std::string_view time_;
    std::string_view text_;
    size_t pos_ = 0;
};

[[noreturn]] void OutOfRange(bool date) {
    throw ConvertError(date ? "Invalid argument to date encode"
                            : "Invalid argument to time encode");
}

// The form the file service sends, "yyyy-mm-ddThh:nn:ss" with an optional ".fff" and "Z",
// read directly: every listing holds one per file. Other forms, and times the general reader
// must judge (hour 24, second 60), return false and take the general road.
bool TryReadServiceForm(std::string_view text, DateTime& value) {
    const size_t n = text.size();
    if (n < 19 || n > 24)
        return false;
    const char* p = text.data();
    auto d = [p](size_t i) { return static_cast<unsigned>(p[i] - '0'); };
    auto bad = [&d](size_t i) { return static_cast<unsigned>(d(i) > 9); };
    const bool digits = (bad(0) | bad(1) | bad(2) | bad(3) | bad(5) | bad(6) | bad(8) | bad(9) |
                         bad(11) | bad(12) | bad(14) | bad(15) | bad(17) | bad(18)) == 0;
    if (!digits || p[4] != '-' || p[7] != '-' || p[10] != 'T' || p[13] != ':' || p[16] != ':')
        return false;
    size_t i = 19;
    unsigned ms = 0;
    if (i < n && p[i] == '.') {
        if (n < i + 4 || d(i + 1) > 9 || d(i + 2) > 9 || d(i + 3) > 9)
            return false;
        ms = d(i + 1) * 100 + d(i + 2) * 10 + d(i + 3);
        i += 4;
    }
    if (i < n && p[i] == 'Z')
        ++i;
    const unsigned hour = d(11) * 10 + d(12);
    const unsigned minute = d(14) * 10 + d(15);
    const unsigned second = d(17) * 10 + d(18);
    if (i != n || hour > 23 || minute > 59 || second > 59)
        return false;
    // An impossible date fails in EncodeDateTime with the general reader's error.
    value = EncodeDateTime(static_cast<int>(d(0) * 1000 + d(1) * 100 + d(2) * 10 + d(3)),
                           static_cast<int>(d(5) * 10 + d(6)), static_cast<int>(d(8) * 10 + d(9)),
                           static_cast<int>(hour), static_cast<int>(minute),
                           static_cast<int>(second), static_cast<int>(ms));
    return true;
}

} // namespace

DateTime ISO8601ToDate(std::string_view text) {
    DateTime value;
    if (TryReadServiceForm(text, value))
        return value;
    const size_t t = text.find('T');
    const std::string_view datePart = t == std::string_view::npos ? text : text.substr(0, t);
    const DateParts d = ReadDate(datePart, text);
    TimeParts time;
    if (t != std::string_view::npos)
        time = TimeReader(text.substr(t + 1), text).Read();

    if (!IsValidDateTime(d.year, d.month, d.day, 0, 0, 0, 0))
        OutOfRange(true);
    // Hour 24 is only the midnight that ends the day; second 60 (a leap second) is the start
    // of the next minute.
    const bool validTime = time.minute <= 59 && time.second <= 60 &&
                           (time.hour <= 23 || (time.hour == 24 && time.minute == 0 &&
                                                time.second == 0 && time.millisecond == 0)) &&
                           time.offsetHour <= 23 && time.offsetMinute <= 59;
    if (!validTime)
        OutOfRange(false);
    std::int64_t ms =
        time.second == 60
            ? (time.hour * 60 + time.minute + 1) * 60'000LL
            : ((time.hour * 60 + time.minute) * 60 + time.second) * 1000LL + time.millisecond;
    // The result is the moment in UTC: +hh:mm is subtracted, -hh:mm added.
    ms -= time.offsetSign * (time.offsetHour * 60 + time.offsetMinute) * 60'000LL;

    std::int64_t days = DaysFromCivil(d.year, d.month, d.day);
    days += ms / kMSecsPerDay;
    ms %= kMSecsPerDay;
    if (ms < 0) {
        ms += kMSecsPerDay;
        --days;
    }
    int year = d.year, month = d.month, day = d.day;
    if (days != DaysFromCivil(d.year, d.month, d.day)) {
        // The day moved (offset, hour 24, rounding): take the new date's parts from the
        // whole day number, which DecodeDateTime reads exactly.
        const DateTimeParts p = DecodeDateTime(static_cast<DateTime>(days - kEpochDays));
        year = p.year;
        month = p.month;
        day = p.day; // a year outside 1..9999 is refused by EncodeDateTime
    }
    const auto msOfDay = static_cast<int>(ms);
    return EncodeDateTime(year, month, day, msOfDay / 3'600'000, msOfDay / 60'000 % 60,
                          msOfDay / 1000 % 60, msOfDay % 1000);
}

std::string DateToISO8601(DateTime value) {
    const DateTimeParts p = DecodeDateTime(value);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second, p.millisecond);
    return text;
}

} // namespace corvane
