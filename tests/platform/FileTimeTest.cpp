#include "platform/FileTime.h"
#include "platform/DateTime.h"
#include "platform/Errors.h"
#include "tests/support/FileTree.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {
namespace {

using test::ZoneGuard;

class FileTimes : public ::testing::TestWithParam<DateTimeParts> {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("corvane-filetimes-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        file_ = (folder_ / "stamped.dll").string();
        std::ofstream(file_) << "x";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
    std::string file_;
};

// Berlin changes to summer time on the last Sunday of March and back on the last Sunday of
// October: the cases sit on both sides of each change and inside the repeated hour.
TEST_P(FileTimes, StampReadsBackExactlyInAZoneWithDaylightSaving) {
    ZoneGuard zone("Europe/Berlin");
    const DateTime age = EncodeDateTime(GetParam());
    SetFileAge(file_, age);
    EXPECT_EQ(FileAge(file_), age);
}

INSTANTIATE_TEST_SUITE_P(Berlin, FileTimes,
                         ::testing::Values(DateTimeParts{2023, 1, 15, 10, 15, 30, 123},
                                           DateTimeParts{2023, 3, 26, 1, 59, 59, 999},
                                           DateTimeParts{2023, 3, 26, 3, 0, 0, 1},
                                           DateTimeParts{2023, 7, 1, 23, 59, 59, 999},
                                           DateTimeParts{2023, 10, 29, 2, 30, 0, 500},
                                           DateTimeParts{2023, 10, 29, 3, 0, 0, 0},
                                           DateTimeParts{1999, 12, 31, 0, 0, 0, 0}));

// The age a file reads back once stamped, told beforehand: a clock time the change to summer
// time skips reads back an hour on, a moment beyond what the file system keeps reads back
// clamped to its limit (ext4 keeps 1901 to 2446, tmpfs every moment), and a moment the zone's
// rules move past 9999 cannot be carried by any file.
struct StampCase {
    const char* label;
    const char* zone;
    DateTimeParts age;
    const char* base; // the folder of the file: "" for the system's temporary folder
    bool storable;
    // What the file reads back, where that does not depend on the file system.
    std::optional<DateTimeParts> readsBack;
};

void PrintTo(const StampCase& c, std::ostream* os) {
    *os << c.label;
}

class AgeOnceStamped : public ::testing::TestWithParam<StampCase> {};

TEST_P(AgeOnceStamped, IsTheAgeTheStampedFileReadsBack) {
    const StampCase& c = GetParam();
    const std::filesystem::path base =
        *c.base ? std::filesystem::path(c.base) : std::filesystem::temp_directory_path();
    if (!std::filesystem::is_directory(base))
        GTEST_SKIP() << base << " is not here";
    const test::TempFolder folder(base);
    const auto file = test::WriteFile(folder.Path(), "stamped.dll", "x");
    ZoneGuard zone(c.zone);
    const DateTime age = EncodeDateTime(c.age);

    const std::optional<DateTime> stamped = StampedAge(age, folder.Folder());
    ASSERT_EQ(stamped.has_value(), c.storable);
    EXPECT_EQ(test::FilesUnder(folder.Path()), std::vector<std::string>{"stamped.dll"})
        << "the file system was asked with a file that stayed behind";
    if (!c.storable)
        return;
    SetFileAge(file.string(), age);
    EXPECT_EQ(FileAge(file.string()), stamped);
    if (c.readsBack) {
        EXPECT_EQ(DecodeDateTime(*stamped), *c.readsBack);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AgeOnceStamped,
    ::testing::Values(
        StampCase{"Ordinary",
                  "Europe/Berlin",
                  {2021, 3, 28, 1, 59, 59, 999},
                  "",
                  true,
                  DateTimeParts{2021, 3, 28, 1, 59, 59, 999}},
        StampCase{"SkippedHour",
                  "Europe/Berlin",
                  {2021, 3, 28, 2, 30, 0, 0},
                  "",
                  true,
                  DateTimeParts{2021, 3, 28, 3, 30, 0, 0}},
        StampCase{"RepeatedHour",
                  "Europe/Berlin",
                  {2021, 10, 31, 2, 30, 0, 500},
                  "",
                  true,
                  DateTimeParts{2021, 10, 31, 2, 30, 0, 500}},
        StampCase{"LastAge", "Europe/Berlin", {9999, 12, 31, 23, 59, 59, 999}, "", true, {}},
        StampCase{"FirstAge", "Europe/Berlin", {1, 1, 1, 0, 0, 0, 0}, "", true, {}},
        StampCase{"LastAgeInUTC", "UTC", {9999, 12, 31, 23, 59, 59, 999}, "", true, {}},
        StampCase{"LastAgeInMemory",
                  "Europe/Berlin",
                  {9999, 12, 31, 23, 59, 59, 999},
                  "/dev/shm",
                  true,
                  DateTimeParts{9999, 12, 31, 23, 59, 59, 999}},
        StampCase{"FirstAgeInMemory",
                  "Europe/Berlin",
                  {1, 1, 1, 0, 0, 0, 0},
                  "/dev/shm",
                  true,
                  DateTimeParts{1, 1, 1, 0, 0, 0, 0}},
        // A zone whose clocks skip the last hour of every year.
        StampCase{"MovedPastTheLastDay",
                  "AAA0BBB,J365/23,J1/1",
                  {9999, 12, 31, 23, 30, 0, 0},
                  "",
                  false,
                  {}},
        StampCase{"JustBeforeTheSkippedHalfHourInMemory",
                  "AAA0BBB,J365/23,J1/1",
                  {9999, 12, 31, 22, 59, 59, 999},
                  "/dev/shm",
                  true,
                  DateTimeParts{9999, 12, 31, 22, 59, 59, 999}}),
    [](const auto& c) { return std::string(c.param.label); });

TEST_F(FileTimes, MissingFilesAndFoldersHaveNoAge) {
    EXPECT_EQ(FileAge((folder_ / "absent.dll").string()), std::nullopt);
    EXPECT_EQ(FileAge(folder_.string()), std::nullopt);
    EXPECT_EQ(FileAge(""), std::nullopt);
    EXPECT_NE(FileAge(file_), std::nullopt);
}

TEST_F(FileTimes, StampingAMissingFileFailsWithTheSystemMessage) {
    EXPECT_THAT(
        [&] { SetFileAge((folder_ / "absent.dll").string(), 45000.5); },
        ::testing::ThrowsMessage<SystemError>(::testing::StrEq("No such file or directory")));
}

// The one conversion between file times and ages, seen directly: milliseconds are cut, not
// rounded, a leap second reads as the second before it, and a moment whose local date is out
// of the range of ages has none.
struct ConversionCase {
    const char* label;
    FileTime time;
    std::optional<DateTimeParts> age;
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << c.label;
}

class FileTimeConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(FileTimeConversion, ReadsTheMomentAsLocalTime) {
    ZoneGuard zone("America/Sao_Paulo");
    const ConversionCase& c = GetParam();
    const std::optional<DateTime> age = AgeFromFileTime(c.time);
    ASSERT_EQ(age.has_value(), c.age.has_value());
    if (!age)
        return;
    EXPECT_EQ(DecodeDateTime(*age), *c.age);
    // And back: the moment again, to the millisecond.
    const std::optional<FileTime> back = FileTimeFromAge(*age);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->seconds, c.time.seconds);
    EXPECT_EQ(back->nanoseconds, c.time.nanoseconds / 1'000'000 * 1'000'000);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileTimeConversion,
    ::testing::Values(
        // 2019-01-01 13:00:00 UTC is 11:00 in summer time (UTC-2) there.
        ConversionCase{"SummerTime", {1'546'347'600, 0}, DateTimeParts{2019, 1, 1, 11, 0, 0, 0}},
        ConversionCase{"MillisecondsAreCut",
                       {1'546'347'600, 999'999'999},
                       DateTimeParts{2019, 1, 1, 11, 0, 0, 999}},
        ConversionCase{"BeforeTheEpoch", {-1, 0}, DateTimeParts{1969, 12, 31, 20, 59, 59, 0}},
        ConversionCase{"PastTheLastAge", {253'402'300'800 + 86'400, 0}, std::nullopt}),
    [](const auto& c) { return std::string(c.param.label); });

TEST_F(FileTimes, SystemPathsWithBackslashesReachTheFile) {
    std::filesystem::create_directories(folder_ / "Relatorio");
    std::ofstream((folder_ / "Relatorio" / "Layout01.rav").string()) << "r";
    const std::string system = folder_.string() + "\\Relatorio\\Layout01.rav";
    const DateTime age = EncodeDateTime(2022, 3, 1, 10, 15, 30, 7);
    SetFileAge(system, age);
    EXPECT_EQ(FileAge(system), age);
}

} // namespace
} // namespace corvane
