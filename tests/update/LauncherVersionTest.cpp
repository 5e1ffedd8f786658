#include "update/LauncherVersion.h"
#include "tools/make-versioned-exe/VersionedExe.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace corvane {
namespace {

using testexe::MakeElf;
using testexe::MakePE;

// One copy of the launcher as the check finds it.
struct TCopy {
    enum TKind { Missing, Elf, PE, Text, TruncatedElf } Kind;
    TFileVersion Version{};

    void WriteTo(const std::filesystem::path& path) const {
        std::vector<std::byte> bytes;
        switch (Kind) {
        case Missing:
            return;
        case Elf:
            bytes = MakeElf(Version).Bytes;
            break;
        case PE:
            bytes = MakePE(Version).Bytes;
            break;
        case Text:
            std::ofstream(path) << "Corvane.EXE\n";
            return;
        case TruncatedElf: {
            const auto elf = MakeElf(Version);
            bytes.assign(elf.Bytes.begin(),
                         elf.Bytes.begin() + static_cast<std::ptrdiff_t>(elf.Layout.Desc + 8));
            break;
        }
        }
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
};

TCopy ElfCopy(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    return {TCopy::Elf, {a, b, c, d}};
}
TCopy PECopy(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    return {TCopy::PE, {a, b, c, d}};
}

struct TPair {
    const char* Name;
    TCopy Local;
    TCopy Server;
    bool Due;
};

void PrintTo(const TPair& pair, std::ostream* out) {
    *out << pair.Name;
}

class VersionPairs : public ::testing::TestWithParam<TPair> {
protected:
    void SetUp() override {
        FFolder = std::filesystem::temp_directory_path() /
                  ("corvane-launcher-version-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FFolder / "servidor");
    }
    void TearDown() override { std::filesystem::remove_all(FFolder); }

    std::filesystem::path FFolder;
};

TEST_P(VersionPairs, ReplacementIsDueOnlyWhenBothHaveAVersionAndTheyDiffer) {
    const TPair& pair = GetParam();
    const auto local = FFolder / "Corvane.EXE";
    const auto server = FFolder / "servidor" / "Corvane.EXE";
    pair.Local.WriteTo(local);
    pair.Server.WriteTo(server);
    const std::string localVersion = FileVersionOf(local.string());
    const std::string serverVersion = FileVersionOf(server.string());
    EXPECT_EQ(LauncherUpdateDue(localVersion, serverVersion), pair.Due)
        << "local '" << localVersion << "', server '" << serverVersion << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionPairs,
    ::testing::Values(
        TPair{"ServerHigher", ElfCopy(2019, 1, 0, 4), ElfCopy(2019, 1, 0, 5), true},
        TPair{"ServerHigherMajor", ElfCopy(2019, 1, 0, 4), ElfCopy(2020, 0, 0, 0), true},
        TPair{"ServerLower", ElfCopy(2019, 1, 0, 5), ElfCopy(2019, 1, 0, 4), true},
        TPair{"Equal", ElfCopy(2019, 1, 0, 4), ElfCopy(2019, 1, 0, 4), false},
        TPair{"EqualPE", PECopy(2019, 1, 0, 4), PECopy(2019, 1, 0, 4), false},
        // Same version, different content and size: nothing to replace.
        TPair{"EqualAcrossFormats", ElfCopy(2019, 1, 0, 4), PECopy(2019, 1, 0, 4), false},
        // Versions that look alike when the numbers are cut to their last digits.
        TPair{"FourAndFourteen", ElfCopy(1, 0, 0, 4), ElfCopy(1, 0, 0, 14), true},
        TPair{"FourAndOneHundredFour", PECopy(1, 0, 0, 4), PECopy(1, 0, 0, 104), true},
        TPair{"SameLastDigitsOfTheYear", ElfCopy(2019, 1, 0, 4), ElfCopy(2119, 1, 0, 4), true},
        TPair{"NineHundredAndNineThousandNineHundred", PECopy(900, 0, 0, 0), PECopy(9900, 0, 0, 0),
              true},
        TPair{"LocalMissing", {TCopy::Missing}, ElfCopy(2019, 1, 0, 5), false},
        TPair{"ServerMissing", ElfCopy(2019, 1, 0, 4), {TCopy::Missing}, false},
        TPair{"LocalNotAnExecutable", {TCopy::Text}, ElfCopy(2019, 1, 0, 5), false},
        TPair{"ServerNotAnExecutable", ElfCopy(2019, 1, 0, 4), {TCopy::Text}, false},
        TPair{"ServerTruncated",
              ElfCopy(2019, 1, 0, 4),
              {TCopy::TruncatedElf, {2019, 1, 0, 5}},
              false},
        TPair{"LocalTruncated",
              {TCopy::TruncatedElf, {2019, 1, 0, 4}},
              ElfCopy(2019, 1, 0, 5),
              false}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(LauncherUpdateDue, ComparesTheWholeText) {
    EXPECT_TRUE(LauncherUpdateDue("1.0.0.4", "1.0.0.14"));
    EXPECT_FALSE(LauncherUpdateDue("2019.1.0.4", "2019.1.0.4"));
    EXPECT_FALSE(LauncherUpdateDue("", ""));
    EXPECT_FALSE(LauncherUpdateDue("", "2019.1.0.4"));
    EXPECT_FALSE(LauncherUpdateDue("2019.1.0.4", ""));
}

} // namespace
} // namespace corvane
