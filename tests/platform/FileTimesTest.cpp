#include "Corvane.Platform.DateTime.h"
#include "Corvane.Platform.Files.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace corvane {
namespace {

// Runs a test in a given time zone and restores the previous one afterwards.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            FHad = true;
            FOld = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (FHad)
            ::setenv("TZ", FOld.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool FHad = false;
    std::string FOld;
};

class FileTimes : public ::testing::TestWithParam<TDateTimeParts> {
protected:
    void SetUp() override {
        FFolder = std::filesystem::temp_directory_path() /
                  ("corvane-filetimes-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FFolder);
        FFile = (FFolder / "stamped.dll").string();
        std::ofstream(FFile) << "x";
    }
    void TearDown() override { std::filesystem::remove_all(FFolder); }

    std::filesystem::path FFolder;
    std::string FFile;
};

// Berlin changes to summer time on the last Sunday of March and back on the last Sunday of
// October: the cases sit on both sides of each change and inside the repeated hour.
TEST_P(FileTimes, StampReadsBackExactlyInAZoneWithDaylightSaving) {
    ZoneGuard zone("Europe/Berlin");
    const TDateTime age = EncodeDateTime(GetParam());
    SetFileAge(FFile, age);
    EXPECT_EQ(FileAge(FFile), age);
}

INSTANTIATE_TEST_SUITE_P(Berlin, FileTimes,
                         ::testing::Values(TDateTimeParts{2023, 1, 15, 10, 15, 30, 123},
                                           TDateTimeParts{2023, 3, 26, 1, 59, 59, 999},
                                           TDateTimeParts{2023, 3, 26, 3, 0, 0, 1},
                                           TDateTimeParts{2023, 7, 1, 23, 59, 59, 999},
                                           TDateTimeParts{2023, 10, 29, 2, 30, 0, 500},
                                           TDateTimeParts{2023, 10, 29, 3, 0, 0, 0},
                                           TDateTimeParts{1999, 12, 31, 0, 0, 0, 0}));

TEST_F(FileTimes, MissingFilesAndFoldersHaveNoAge) {
    EXPECT_EQ(FileAge((FFolder / "absent.dll").string()), -1.0);
    EXPECT_EQ(FileAge(FFolder.string()), -1.0);
    EXPECT_FALSE(FileExists(FFolder.string()));
    EXPECT_TRUE(FileExists(FFile));
    EXPECT_TRUE(DirectoryExists(FFolder.string()));
}

TEST_F(FileTimes, StampingAMissingFileFailsWithTheSystemMessage) {
    try {
        SetFileAge((FFolder / "absent.dll").string(), 45000.5);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
    }
}

TEST_F(FileTimes, SystemPathsWithBackslashesReachTheFile) {
    std::filesystem::create_directories(FFolder / "Relatorio");
    std::ofstream((FFolder / "Relatorio" / "Layout01.rav").string()) << "r";
    const std::string system = FFolder.string() + "\\Relatorio\\Layout01.rav";
    const TDateTime age = EncodeDateTime(2022, 3, 1, 10, 15, 30, 7);
    SetFileAge(system, age);
    EXPECT_EQ(FileAge(system), age);
}

} // namespace
} // namespace corvane
