#include "platform/Paths.h"
#include "platform/Errors.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <unistd.h>

namespace corvane {
namespace {

struct JoinCase {
    const char* Folder;
    const char* Name;
    const char* Expected;
    friend void PrintTo(const JoinCase& c, std::ostream* os) { *os << c.Folder << " + " << c.Name; }
};

class JoinRules : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinRules, JoinsAsTheSystemDoes) {
    const JoinCase& c = GetParam();
    EXPECT_EQ(JoinPath(c.Folder, c.Name), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, JoinRules,
    ::testing::Values(JoinCase{"C:\\Corvane", "Vostrel.exe", "C:\\Corvane\\Vostrel.exe"},
                      JoinCase{"C:\\Corvane\\", "Vostrel.exe", "C:\\Corvane\\Vostrel.exe"},
                      JoinCase{"/srv/corvane/", "Relatorio\\Layout01.rav",
                               "/srv/corvane/Relatorio\\Layout01.rav"},
                      JoinCase{"/srv/corvane", "Relatorio\\Layout01.rav",
                               "/srv/corvane\\Relatorio\\Layout01.rav"},
                      JoinCase{"/home/São José/Pasta com espaços", "Corvane.ini",
                               "/home/São José/Pasta com espaços\\Corvane.ini"},
                      JoinCase{"", "midas.dll", "midas.dll"},
                      JoinCase{"C:\\Corvane", "", "C:\\Corvane"}, JoinCase{"", "", ""},
                      // A rooted name is used alone.
                      JoinCase{"C:\\Corvane", "\\midas.dll", "\\midas.dll"},
                      JoinCase{"C:\\Corvane", "/etc/passwd", "/etc/passwd"},
                      JoinCase{"C:\\Corvane", "D:\\Cont\\contabil.exe", "D:\\Cont\\contabil.exe"},
                      JoinCase{"C:\\Corvane", "\\\\srv01\\share\\a.dll", "\\\\srv01\\share\\a.dll"},
                      // A drive alone takes the name without a separator (drive-relative).
                      JoinCase{"C:", "midas.dll", "C:midas.dll"},
                      // Wildcards, colons elsewhere and non-ASCII letters are not refused.
                      JoinCase{"C:\\Corvane", "a*b?.dll", "C:\\Corvane\\a*b?.dll"},
                      JoinCase{"C:\\Corvane", "Ação.exe", "C:\\Corvane\\Ação.exe"}));

struct BadCharCase {
    std::string Folder;
    std::string Name;
    friend void PrintTo(const BadCharCase& c, std::ostream* os) {
        *os << ::testing::PrintToString(c.Folder + " + " + c.Name);
    }
};

class InvalidCharacters : public ::testing::TestWithParam<BadCharCase> {};

TEST_P(InvalidCharacters, AreRefusedInEitherPart) {
    const BadCharCase& c = GetParam();
    EXPECT_TRUE(HasInvalidPathChars(c.Folder + c.Name));
    try {
        JoinPath(c.Folder, c.Name);
        FAIL() << "no error";
    } catch (const EArgumentException& e) {
        EXPECT_STREQ(e.what(), "Invalid characters in path");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, InvalidCharacters,
    ::testing::Values(BadCharCase{"C:\\Cor\"vane", "a.dll"}, BadCharCase{"C:\\Corvane", "a<.dll"},
                      BadCharCase{"C:\\Corvane", "a>.dll"}, BadCharCase{"C:\\Cor|vane", "a.dll"},
                      BadCharCase{"C:\\Corvane", std::string("a\0.dll", 6)},
                      BadCharCase{"C:\\Corvane", "a\x01.dll"}, BadCharCase{"C:\\Cor\tvane", ""},
                      BadCharCase{"", "a\x1F.dll"},
                      // Checked even where the other part alone decides the result.
                      BadCharCase{"C:\\Cor|vane", "\\rooted.dll"}));

TEST(Paths, CharacterCheckAcceptsEverythingElse) {
    std::string allowed;
    for (int c = 32; c < 256; ++c)
        if (c != '"' && c != '<' && c != '>' && c != '|')
            allowed += static_cast<char>(c);
    EXPECT_FALSE(HasInvalidPathChars(allowed));
    EXPECT_NO_THROW(CheckPathChars(allowed));
}

TEST(Paths, RootedNames) {
    for (const char* rooted : {"\\a", "/a", "C:", "c:\\a", "z:a", "\\\\srv\\share"})
        EXPECT_TRUE(IsPathRooted(rooted)) << rooted;
    for (const char* relative : {"", "a", "Relatorio\\a.rav", "1:\\a", ":a", ".\\a"})
        EXPECT_FALSE(IsPathRooted(relative)) << relative;
}

TEST(Paths, TrailingBackslashCountsOnlyTheBackslash) {
    EXPECT_EQ(IncludeTrailingBackslash("\\\\srv01\\corvane"), "\\\\srv01\\corvane\\");
    EXPECT_EQ(IncludeTrailingBackslash("\\\\srv01\\corvane\\"), "\\\\srv01\\corvane\\");
    EXPECT_EQ(IncludeTrailingBackslash("/mnt/servidor/"), "/mnt/servidor/\\");
}

TEST(Paths, FolderAndNameParts) {
    EXPECT_EQ(ExtractFilePath("/opt/São José/Corvane.EXE"), "/opt/São José/");
    EXPECT_EQ(ExtractFilePath("C:\\Corvane\\Corvane.EXE"), "C:\\Corvane\\");
    EXPECT_EQ(ExtractFilePath("Corvane.EXE"), "");
    EXPECT_EQ(ExtractFileName("C:\\Corvane\\Corvane.EXE"), "Corvane.EXE");
    EXPECT_EQ(ExtractFileName("Relatorio/Layout01.rav"), "Layout01.rav");
}

TEST(Paths, SystemNamesBecomeNativePaths) {
    EXPECT_EQ(ToNativePath("/srv/corvane/Relatorio\\Layout01.rav"),
              "/srv/corvane/Relatorio/Layout01.rav");
    EXPECT_EQ(ToNativePath("/mnt/servidor/\\"), "/mnt/servidor//");
}

TEST(Paths, ExecutablePathIsAbsoluteWhateverTheCurrentDirectory) {
    const std::filesystem::path before = std::filesystem::current_path();
    const std::string first = ExecutablePath();
    ASSERT_EQ(::chdir("/"), 0);
    const std::string second = ExecutablePath();
    std::filesystem::current_path(before);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.front(), '/');
    EXPECT_TRUE(FileExists(first));
    EXPECT_EQ(ExtractFileName(first), "corvane_platform_tests");
}

} // namespace
} // namespace corvane
