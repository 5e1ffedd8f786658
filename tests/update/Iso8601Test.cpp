#include "update/Iso8601.h"

#include "update/Errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <random>
#include <string>

namespace corvane {
namespace {

using ::testing::AnyOf;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

struct ReadCase {
    const char* text;
    DateTimeParts expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ISO8601Reads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ISO8601Reads, GivesTheMoment) {
    const ReadCase& c = GetParam();
    const DateTime value = ISO8601ToDate(c.text);
    EXPECT_EQ(DecodeDateTime(value), c.expected);
    // Exactly the value the platform's encoder gives, so ages compare equal with file times.
    EXPECT_EQ(value, EncodeDateTime(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ISO8601Reads,
    ::testing::Values(
        // Offsets: the result is the moment in UTC; no offset keeps the clock value.
        ReadCase{"2022-03-01T10:15:30", {2022, 3, 1, 10, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15:30.000Z", {2022, 3, 1, 10, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15:30-03:00", {2022, 3, 1, 13, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15:30+01:30", {2022, 3, 1, 8, 45, 30, 0}},
        ReadCase{"2022-03-01T10:15:30-00:30", {2022, 3, 1, 10, 45, 30, 0}},
        ReadCase{"2022-03-01T10:15:30+3", {2022, 3, 1, 7, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15:30+03:", {2022, 3, 1, 7, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15:30+03:5", {2022, 3, 1, 7, 10, 30, 0}},
        ReadCase{"2022-03-01T00:30:00+01:00", {2022, 2, 28, 23, 30, 0, 0}},
        ReadCase{"2022-12-31T22:30:00-03:00", {2023, 1, 1, 1, 30, 0, 0}},
        ReadCase{"2024-03-01T00:00:00+00:01", {2024, 2, 29, 23, 59, 0, 0}},
        ReadCase{"0001-01-01T00:30+00:30", {1, 1, 1, 0, 0, 0, 0}},
        // Anything after the offset, or after the time when no offset follows, is ignored.
        ReadCase{"2022-03-01T10:15:30+03:00[America/Sao_Paulo]", {2022, 3, 1, 7, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15:30Z+03:00", {2022, 3, 1, 10, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15:30 +03:00", {2022, 3, 1, 10, 15, 30, 0}},
        ReadCase{"2022-03-01T10:15.5", {2022, 3, 1, 10, 15, 0, 0}},
        // Dates alone, and times whose end is missing.
        ReadCase{"2022-03-01", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"2022-03-01 10:15:30", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"2022-03-01t10:15:30", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"-2022-03-01", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"2022-3-1", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"22-03-01", {22, 3, 1, 0, 0, 0, 0}},
        ReadCase{"2024-02-29", {2024, 2, 29, 0, 0, 0, 0}},
        ReadCase{"2022-03-01T", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"2022-03-01T10", {2022, 3, 1, 10, 0, 0, 0}},
        ReadCase{"2022-03-01T10:", {2022, 3, 1, 10, 0, 0, 0}},
        ReadCase{"2022-03-01T10:15", {2022, 3, 1, 10, 15, 0, 0}},
        ReadCase{"2022-03-01T10:15:", {2022, 3, 1, 10, 15, 0, 0}},
        ReadCase{"2022-03-01T10:15:30.", {2022, 3, 1, 10, 15, 30, 0}},
        // Basic form.
        ReadCase{"20220301", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"20220301T101530", {2022, 3, 1, 10, 15, 30, 0}},
        ReadCase{"20220301T101530Z", {2022, 3, 1, 10, 15, 30, 0}},
        ReadCase{"20220301T1015", {2022, 3, 1, 10, 15, 0, 0}},
        ReadCase{"20220301T101530.25-03", {2022, 3, 1, 13, 15, 30, 250}},
        ReadCase{"2022-03-01T101530", {2022, 3, 1, 10, 15, 30, 0}},
        ReadCase{"20220301T10:15:30", {2022, 3, 1, 10, 15, 30, 0}},
        // Fractions round to the nearest millisecond, half up.
        ReadCase{"2022-03-01T10:15:30.1", {2022, 3, 1, 10, 15, 30, 100}},
        ReadCase{"2022-03-01T10:15:30.12", {2022, 3, 1, 10, 15, 30, 120}},
        ReadCase{"2022-03-01T10:15:30.1234", {2022, 3, 1, 10, 15, 30, 123}},
        ReadCase{"2022-03-01T10:15:30.1235", {2022, 3, 1, 10, 15, 30, 124}},
        ReadCase{"2022-03-01T10:15:30.1236", {2022, 3, 1, 10, 15, 30, 124}},
        ReadCase{"2022-03-01T10:15:30.123499999999999999", {2022, 3, 1, 10, 15, 30, 123}},
        ReadCase{"2022-03-01T10:15:30.12349999999999999999999", {2022, 3, 1, 10, 15, 30, 123}},
        ReadCase{"2022-03-01T10:15:30.9996", {2022, 3, 1, 10, 15, 31, 0}},
        ReadCase{"2022-12-31T23:59:59.9995Z", {2023, 1, 1, 0, 0, 0, 0}},
        // Hour 24 ends the day; second 60 is the start of the next minute.
        ReadCase{"2022-03-01T24:00:00", {2022, 3, 2, 0, 0, 0, 0}},
        ReadCase{"2022-12-31T24:00", {2023, 1, 1, 0, 0, 0, 0}},
        ReadCase{"2022-02-28T24:00:00.0004", {2022, 3, 1, 0, 0, 0, 0}},
        ReadCase{"2022-03-01T10:15:60", {2022, 3, 1, 10, 16, 0, 0}},
        ReadCase{"2022-03-01T10:15:60.500", {2022, 3, 1, 10, 16, 0, 0}},
        ReadCase{"2022-12-31T23:59:60Z", {2023, 1, 1, 0, 0, 0, 0}},
        ReadCase{"2022-12-31T23:59:60-01:00", {2023, 1, 1, 1, 0, 0, 0}},
        ReadCase{"9999-12-31T23:59:59.999", {9999, 12, 31, 23, 59, 59, 999}}));

enum class ErrorKind { Date, Time, Offset, Range };

struct FailCase {
    const char* text;
    ErrorKind kind;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

std::string ExpectedMessage(ErrorKind kind, const std::string& text) {
    switch (kind) {
    case ErrorKind::Date:
        return "Invalid date string: " + text;
    case ErrorKind::Time:
        return "Invalid time string: " + text;
    case ErrorKind::Offset:
        return "Invalid time Offset string: " + text;
    case ErrorKind::Range:
        break;
    }
    return {};
}

// Checks that reading text fails with the error of kind, naming the whole text.
void ExpectFailure(const std::string& text, ErrorKind kind) {
    const auto read = [&] { ISO8601ToDate(text); };
    if (kind == ErrorKind::Range)
        EXPECT_THAT(read,
                    ThrowsMessage<ConvertError>(AnyOf(StrEq("Invalid argument to date encode"),
                                                      StrEq("Invalid argument to time encode"))));
    else
        EXPECT_THAT(read, ThrowsMessage<DateTimeException>(StrEq(ExpectedMessage(kind, text))));
}

class ISO8601Fails : public ::testing::TestWithParam<FailCase> {};

TEST_P(ISO8601Fails, WithTheStatedError) {
    ExpectFailure(GetParam().text, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ISO8601Fails,
    ::testing::Values(
        // Dates that cannot be read.
        FailCase{"", ErrorKind::Date}, FailCase{"202", ErrorKind::Date},
        FailCase{"-202", ErrorKind::Date}, FailCase{"T10:15:30", ErrorKind::Date},
        FailCase{"abcd-03-01", ErrorKind::Date}, FailCase{"2022/03/01", ErrorKind::Date},
        FailCase{"2022-03/01", ErrorKind::Date}, FailCase{"2022-03", ErrorKind::Date},
        FailCase{"2022", ErrorKind::Date}, FailCase{"2022-ab-01", ErrorKind::Date},
        FailCase{"10:15:30", ErrorKind::Date},
        // Times that cannot be read.
        FailCase{"2022-03-01T1:15", ErrorKind::Time}, FailCase{"2022-03-01T10:1", ErrorKind::Time},
        FailCase{"2022-03-01TZ", ErrorKind::Time}, FailCase{"2022-03-01T10:15:3", ErrorKind::Time},
        FailCase{"2022-03-01T10:15:30.Z", ErrorKind::Time},
        FailCase{"2022-03-01T10:x", ErrorKind::Time}, FailCase{"20220301T101", ErrorKind::Time},
        FailCase{"2022-03-01T10:15:30+", ErrorKind::Time},
        FailCase{"2022-03-01T10:15:30-x", ErrorKind::Time},
        FailCase{"2022-03-01T+03:00", ErrorKind::Time},
        // An offset whose hours are not followed by the end or ":".
        FailCase{"2022-03-01T10:15:30+0300", ErrorKind::Offset},
        FailCase{"2022-03-01T10:15:30+03Z", ErrorKind::Offset},
        FailCase{"20220301T101530-0300", ErrorKind::Offset},
        // Components out of range, missing month or day included.
        FailCase{"2022-13-01", ErrorKind::Range}, FailCase{"2022-00-01", ErrorKind::Range},
        FailCase{"2022-02-29", ErrorKind::Range}, FailCase{"2022-03-32", ErrorKind::Range},
        FailCase{"0000-01-01", ErrorKind::Range}, FailCase{"2022--01", ErrorKind::Range},
        FailCase{"2022-02-30T10:15:30.000Z", ErrorKind::Range},
        FailCase{"0000-01-01T00:00:00", ErrorKind::Range}, FailCase{"2022-03-", ErrorKind::Range},
        FailCase{"2022-03-xx", ErrorKind::Range}, FailCase{"202203", ErrorKind::Range},
        FailCase{"2022-03-01T25:00", ErrorKind::Range},
        FailCase{"2022-03-01T24:00:01", ErrorKind::Range},
        FailCase{"2022-03-01T24:30", ErrorKind::Range},
        FailCase{"2022-03-01T10:60", ErrorKind::Range},
        FailCase{"2022-03-01T10:61", ErrorKind::Range},
        FailCase{"2022-03-01T10:15:61", ErrorKind::Range},
        FailCase{"2022-03-01T10:15:30+24:00", ErrorKind::Range},
        FailCase{"2022-03-01T10:15:30+01:60", ErrorKind::Range},
        FailCase{"9999-12-31T23:30-01:00", ErrorKind::Range},
        FailCase{"0001-01-01T00:00+01:00", ErrorKind::Range}));

// Every prefix of a full text: each gives its stated value or error, never anything else.
TEST(ISO8601, EveryCutOfAFullTextGivesItsValueOrError) {
    const std::string full = "2022-03-01T10:15:30.123+03:00";
    struct Cut {
        size_t length;
        std::optional<DateTimeParts> value; // empty: the error below
        ErrorKind kind;
    };
    const DateTimeParts midnight{2022, 3, 1, 0, 0, 0, 0};
    const DateTimeParts atTen{2022, 3, 1, 10, 0, 0, 0};
    const DateTimeParts atTenFifteen{2022, 3, 1, 10, 15, 0, 0};
    const DateTimeParts noFraction{2022, 3, 1, 10, 15, 30, 0};
    const DateTimeParts utc{2022, 3, 1, 7, 15, 30, 123};
    const Cut cuts[] = {
        {0, {}, ErrorKind::Date},
        {1, {}, ErrorKind::Date},
        {2, {}, ErrorKind::Date},
        {3, {}, ErrorKind::Date},
        {4, {}, ErrorKind::Date},
        {5, {}, ErrorKind::Date},
        {6, {}, ErrorKind::Date},
        {7, {}, ErrorKind::Date},
        {8, {}, ErrorKind::Range},
        {9, {}, ErrorKind::Range},
        {10, midnight, {}},
        {11, midnight, {}},
        {12, {}, ErrorKind::Time},
        {13, atTen, {}},
        {14, atTen, {}},
        {15, {}, ErrorKind::Time},
        {16, atTenFifteen, {}},
        {17, atTenFifteen, {}},
        {18, {}, ErrorKind::Time},
        {19, noFraction, {}},
        {20, noFraction, {}},
        {21, {{2022, 3, 1, 10, 15, 30, 100}}, {}},
        {22, {{2022, 3, 1, 10, 15, 30, 120}}, {}},
        {23, {{2022, 3, 1, 10, 15, 30, 123}}, {}},
        {24, {}, ErrorKind::Time},
        {25, {{2022, 3, 1, 10, 15, 30, 123}}, {}},
        {26, utc, {}},
        {27, utc, {}},
        {28, utc, {}},
        {29, utc, {}},
    };
    ASSERT_EQ(std::size(cuts), full.size() + 1);
    for (const Cut& cut : cuts) {
        const std::string text = full.substr(0, cut.length);
        SCOPED_TRACE(text);
        if (cut.value)
            EXPECT_EQ(DecodeDateTime(ISO8601ToDate(text)), *cut.value);
        else
            ExpectFailure(text, cut.kind);
    }
}

// The service's own form is read on a shorter road; both roads must agree to the millisecond.
TEST(ISO8601, TheServiceFormAndTheGeneralFormsAgree) {
    std::mt19937 random(7);
    for (int n = 0; n < 20'000; ++n) {
        const DateTimeParts p{
            1 + static_cast<int>(random() % 9999), 1 + static_cast<int>(random() % 12),
            1 + static_cast<int>(random() % 28),   static_cast<int>(random() % 24),
            static_cast<int>(random() % 60),       static_cast<int>(random() % 60),
            static_cast<int>(random() % 1000)};
        char text[40];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month,
                      p.day, p.hour, p.minute, p.second, p.millisecond);
        const std::string service = text;
        const DateTime expected = EncodeDateTime(p);
        ASSERT_EQ(ISO8601ToDate(service), expected) << service;
        ASSERT_EQ(ISO8601ToDate(service + "Z"), expected) << service;
        ASSERT_EQ(ISO8601ToDate(service + "0"), expected) << service;      // four digits
        ASSERT_EQ(ISO8601ToDate(service + "+00:00"), expected) << service; // an offset
        ASSERT_EQ(ISO8601ToDate(service.substr(0, 19)),
                  EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, 0))
            << service;
    }
}

TEST(ISO8601, LongAndBinaryTextsAreReadWithoutHarm) {
    // A fraction of 100,000 digits and a date followed by a megabyte of anything.
    std::string longFraction = "2022-03-01T10:15:30." + std::string(100'000, '9');
    EXPECT_EQ(DecodeDateTime(ISO8601ToDate(longFraction)),
              (DateTimeParts{2022, 3, 1, 10, 15, 31, 0}));
    std::string tail = "2022-03-01" + std::string(1'000'000, '\xFF');
    EXPECT_EQ(DecodeDateTime(ISO8601ToDate(tail)), (DateTimeParts{2022, 3, 1, 0, 0, 0, 0}));
    const std::string withNul("2022-03-01T10:15:30\0+03:00", 26);
    EXPECT_EQ(DecodeDateTime(ISO8601ToDate(withNul)), (DateTimeParts{2022, 3, 1, 10, 15, 30, 0}));
    ExpectFailure("20\x7F"
                  "2-03-01",
                  ErrorKind::Date);
}

} // namespace
} // namespace corvane
