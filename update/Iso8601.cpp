#include "update/Iso8601.h"

#include "update/Errors.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace corvane {

namespace {

// Day number (days since 1970-01-01) of 1899-12-30, the day TDateTime counts from.
constexpr std::int64_t kEpochDays = -25'569;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void Fail(const char* AWhat, std::string_view AText) {
    std::string message(AWhat);
    message.append(AText);
    throw EDateTimeException(message);
}

// Reads up to AMax digits at APos into AValue; returns how many were read.
int ReadDigits(std::string_view AText, size_t& APos, int AMax, int& AValue) {
    int count = 0;
    AValue = 0;
    while (count < AMax && APos < AText.size() && IsDigit(AText[APos])) {
        AValue = AValue * 10 + (AText[APos] - '0');
        ++APos;
        ++count;
    }
    return count;
}

struct TDateParts {
    int Year = 0;
    int Month = 0;
    int Day = 0;
};

TDateParts ReadDate(std::string_view ADate, std::string_view AText) {
    if (!ADate.empty() && ADate.front() == '-')
        ADate.remove_prefix(1);
    if (ADate.size() < 4)
        Fail("Invalid date string: ", AText);
    TDateParts d;
    size_t pos = 0;
    const int yearDigits = ReadDigits(ADate, pos, 4, d.Year);
    if (yearDigits == 0)
        Fail("Invalid date string: ", AText);
    if (yearDigits == 4 && pos < ADate.size() && IsDigit(ADate[pos])) {
        // Basic form: yyyymmdd.
        ReadDigits(ADate, pos, 2, d.Month);
        ReadDigits(ADate, pos, 2, d.Day);
        return d;
    }
    // Extended form: y-m-d. A month or day without digits stays 0 and is refused when the
    // value is built; whatever follows the day is ignored.
    if (pos >= ADate.size() || ADate[pos] != '-')
        Fail("Invalid date string: ", AText);
    ++pos;
    ReadDigits(ADate, pos, 2, d.Month);
    if (pos >= ADate.size() || ADate[pos] != '-')
        Fail("Invalid date string: ", AText);
    ++pos;
    ReadDigits(ADate, pos, 2, d.Day);
    return d;
}

struct TTimeParts {
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0; // rounded from the fraction; 1000 when it rounds up to a full second
    int OffsetSign = 0;  // 0: no offset
    int OffsetHour = 0;
    int OffsetMinute = 0;
};

class TTimeReader {
public:
    TTimeReader(std::string_view ATime, std::string_view AText) : FTime(ATime), FText(AText) {}

    TTimeParts Read() {
        TTimeParts t;
        // Components missing at the end of the text count as 0.
        if (AtEnd())
            return t;
        t.Hour = TwoDigits();
        if (Is(':')) {
            ++FPos;
            if (!AtEnd()) {
                t.Minute = TwoDigits();
                if (Is(':')) {
                    ++FPos;
                    if (!AtEnd()) {
                        t.Second = TwoDigits();
                        t.Millisecond = Fraction();
                    }
                }
            }
        } else if (!AtEnd() && IsDigit(FTime[FPos])) {
            // Basic form: hhmmss.
            t.Minute = TwoDigits();
            if (!AtEnd() && IsDigit(FTime[FPos])) {
                t.Second = TwoDigits();
                t.Millisecond = Fraction();
            }
        }
        ReadOffset(t);
        return t;
    }

private:
    bool AtEnd() const { return FPos >= FTime.size(); }
    bool Is(char c) const { return !AtEnd() && FTime[FPos] == c; }

    int TwoDigits() {
        int value = 0;
        if (ReadDigits(FTime, FPos, 2, value) != 2)
            Fail("Invalid time string: ", FText);
        return value;
    }

    // A fraction of a second, rounded half up to the millisecond. Only its fourth digit
    // decides the rounding, so digits after it are read and dropped.
    int Fraction() {
        if (!Is('.'))
            return 0;
        ++FPos;
        if (AtEnd())
            return 0;
        if (!IsDigit(FTime[FPos]))
            Fail("Invalid time string: ", FText);
        int ms = 0;
        int count = 0;
        for (; !AtEnd() && IsDigit(FTime[FPos]); ++FPos, ++count) {
            const int digit = FTime[FPos] - '0';
            if (count < 3)
                ms = ms * 10 + digit;
            else if (count == 3 && digit >= 5)
                ++ms;
        }
        for (; count < 3; ++count)
            ms *= 10;
        return ms;
    }

    void ReadOffset(TTimeParts& t) {
        // "Z", nothing, or any other character: no offset, the rest ignored.
        if (!Is('+') && !Is('-'))
            return;
        t.OffsetSign = FTime[FPos] == '-' ? -1 : 1;
        ++FPos;
        if (AtEnd() || !IsDigit(FTime[FPos]))
            Fail("Invalid time string: ", FText);
        ReadDigits(FTime, FPos, 2, t.OffsetHour);
        if (AtEnd())
            return;
        if (FTime[FPos] != ':')
            Fail("Invalid time Offset string: ", FText);
        ++FPos;
        ReadDigits(FTime, FPos, 2, t.OffsetMinute);
    }

    std::string_view FTime;
    std::string_view FText;
    size_t FPos = 0;
};

[[noreturn]] void OutOfRange(bool ADate) {
    throw EConvertError(ADate ? "Invalid argument to date encode"
                              : "Invalid argument to time encode");
}

// The form the file service sends, "yyyy-mm-ddThh:nn:ss" with an optional ".fff" and "Z",
// read directly: every listing holds one per file. Other forms, and times the general reader
// must judge (hour 24, second 60), return false and take the general road.
bool TryReadServiceForm(std::string_view AText, TDateTime& AValue) {
    const size_t n = AText.size();
    if (n < 19 || n > 24)
        return false;
    const char* p = AText.data();
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
    AValue = EncodeDateTime(static_cast<int>(d(0) * 1000 + d(1) * 100 + d(2) * 10 + d(3)),
                            static_cast<int>(d(5) * 10 + d(6)), static_cast<int>(d(8) * 10 + d(9)),
                            static_cast<int>(hour), static_cast<int>(minute),
                            static_cast<int>(second), static_cast<int>(ms));
    return true;
}

} // namespace

TDateTime ISO8601ToDate(std::string_view AText) {
    TDateTime value;
    if (TryReadServiceForm(AText, value))
        return value;
    const size_t t = AText.find('T');
    const std::string_view datePart = t == std::string_view::npos ? AText : AText.substr(0, t);
    const TDateParts d = ReadDate(datePart, AText);
    TTimeParts time;
    if (t != std::string_view::npos)
        time = TTimeReader(AText.substr(t + 1), AText).Read();

    if (!IsValidDateTime(d.Year, d.Month, d.Day, 0, 0, 0, 0))
        OutOfRange(true);
    // Hour 24 is only the midnight that ends the day; second 60 (a leap second) is the start
    // of the next minute.
    const bool validTime = time.Minute <= 59 && time.Second <= 60 &&
                           (time.Hour <= 23 || (time.Hour == 24 && time.Minute == 0 &&
                                                time.Second == 0 && time.Millisecond == 0)) &&
                           time.OffsetHour <= 23 && time.OffsetMinute <= 59;
    if (!validTime)
        OutOfRange(false);
    std::int64_t ms =
        time.Second == 60
            ? (time.Hour * 60 + time.Minute + 1) * 60'000LL
            : ((time.Hour * 60 + time.Minute) * 60 + time.Second) * 1000LL + time.Millisecond;
    // The result is the moment in UTC: +hh:mm is subtracted, -hh:mm added.
    ms -= time.OffsetSign * (time.OffsetHour * 60 + time.OffsetMinute) * 60'000LL;

    std::int64_t days = DaysFromCivil(d.Year, d.Month, d.Day);
    days += ms / MSecsPerDay;
    ms %= MSecsPerDay;
    if (ms < 0) {
        ms += MSecsPerDay;
        --days;
    }
    int year = d.Year, month = d.Month, day = d.Day;
    if (days != DaysFromCivil(d.Year, d.Month, d.Day)) {
        // The day moved (offset, hour 24, rounding): take the new date's parts from the
        // whole day number, which DecodeDateTime reads exactly.
        const TDateTimeParts p = DecodeDateTime(static_cast<TDateTime>(days - kEpochDays));
        year = p.Year;
        month = p.Month;
        day = p.Day; // a year outside 1..9999 is refused by EncodeDateTime
    }
    const auto msOfDay = static_cast<int>(ms);
    return EncodeDateTime(year, month, day, msOfDay / 3'600'000, msOfDay / 60'000 % 60,
                          msOfDay / 1000 % 60, msOfDay % 1000);
}

std::string DateToISO8601(TDateTime value) {
    const TDateTimeParts p = DecodeDateTime(value);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.Year, p.Month, p.Day,
                  p.Hour, p.Minute, p.Second, p.Millisecond);
    return text;
}

} // namespace corvane
