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
struct Copy {
    enum Kind { Missing, Elf, PE, Text, TruncatedElf } kind;
    FileVersion version{};

    void WriteTo(const std::filesystem::path& path) const {
        std::vector<std::byte> bytes;
        switch (kind) {
        case Missing:
            return;
        case Elf:
            bytes = MakeElf(version).bytes;
            break;
        case PE:
            bytes = MakePE(version).bytes;
            break;
        case Text:
            std::ofstream(path) << "Corvane.EXE\n";
            return;
        case TruncatedElf: {
            const auto elf = MakeElf(version);
            bytes.assign(elf.bytes.begin(),
                         elf.bytes.begin() + static_cast<std::ptrdiff_t>(elf.layout.desc + 8));
            break;
        }
        }
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
};

Copy ElfCopy(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    return {Copy::Elf, {a, b, c, d}};
}
Copy PECopy(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    return {Copy::PE, {a, b, c, d}};
}

struct Pair {
    const char* name;
    Copy local;
    Copy server;
    bool due;
};

void PrintTo(const Pair& pair, std::ostream* out) {
    *out << pair.name;
}

class VersionPairs : public ::testing::TestWithParam<Pair> {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("corvane-launcher-version-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_ / "servidor");
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
};

TEST_P(VersionPairs, ReplacementIsDueOnlyWhenBothHaveAVersionAndTheyDiffer) {
    const Pair& pair = GetParam();
    const auto local = folder_ / "Corvane.EXE";
    const auto server = folder_ / "servidor" / "Corvane.EXE";
    pair.local.WriteTo(local);
    pair.server.WriteTo(server);
    const std::string localVersion = FileVersionOf(local.string());
    const std::string serverVersion = FileVersionOf(server.string());
    EXPECT_EQ(LauncherUpdateDue(localVersion, serverVersion), pair.due)
        << "local '" << localVersion << "', server '" << serverVersion << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionPairs,
    ::testing::Values(
        Pair{"ServerHigher", ElfCopy(2019, 1, 0, 4), ElfCopy(2019, 1, 0, 5), true},
        Pair{"ServerHigherMajor", ElfCopy(2019, 1, 0, 4), ElfCopy(2020, 0, 0, 0), true},
        Pair{"ServerLower", ElfCopy(2019, 1, 0, 5), ElfCopy(2019, 1, 0, 4), true},
        Pair{"Equal", ElfCopy(2019, 1, 0, 4), ElfCopy(2019, 1, 0, 4), false},
        Pair{"EqualPE", PECopy(2019, 1, 0, 4), PECopy(2019, 1, 0, 4), false},
        // Same version, different content and size: nothing to replace.
        Pair{"EqualAcrossFormats", ElfCopy(2019, 1, 0, 4), PECopy(2019, 1, 0, 4), false},
        // Versions that look alike when the numbers are cut to their last digits.
        Pair{"FourAndFourteen", ElfCopy(1, 0, 0, 4), ElfCopy(1, 0, 0, 14), true},
        Pair{"FourAndOneHundredFour", PECopy(1, 0, 0, 4), PECopy(1, 0, 0, 104), true},
        Pair{"SameLastDigitsOfTheYear", ElfCopy(2019, 1, 0, 4), ElfCopy(2119, 1, 0, 4), true},
        Pair{"NineHundredAndNineThousandNineHundred", PECopy(900, 0, 0, 0), PECopy(9900, 0, 0, 0),
             true},
        Pair{"LocalMissing", {Copy::Missing}, ElfCopy(2019, 1, 0, 5), false},
        Pair{"ServerMissing", ElfCopy(2019, 1, 0, 4), {Copy::Missing}, false},
        Pair{"LocalNotAnExecutable", {Copy::Text}, ElfCopy(2019, 1, 0, 5), false},
        Pair{"ServerNotAnExecutable", ElfCopy(2019, 1, 0, 4), {Copy::Text}, false},
        Pair{"ServerTruncated",
             ElfCopy(2019, 1, 0, 4),
             {Copy::TruncatedElf, {2019, 1, 0, 5}},
             false},
        Pair{"LocalTruncated",
             {Copy::TruncatedElf, {2019, 1, 0, 4}},
             ElfCopy(2019, 1, 0, 5),
             false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(LauncherUpdateDue, ComparesTheWholeText) {
    EXPECT_TRUE(LauncherUpdateDue("1.0.0.4", "1.0.0.14"));
    EXPECT_FALSE(LauncherUpdateDue("2019.1.0.4", "2019.1.0.4"));
    EXPECT_FALSE(LauncherUpdateDue("", ""));
    EXPECT_FALSE(LauncherUpdateDue("", "2019.1.0.4"));
    EXPECT_FALSE(LauncherUpdateDue("2019.1.0.4", ""));
}

} // namespace
} // namespace corvane
