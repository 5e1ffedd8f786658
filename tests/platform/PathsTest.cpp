#include "platform/Paths.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "tests/support/FileTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <unistd.h>

namespace corvane {
namespace {

struct JoinCase {
    const char* folder;
    const char* name;
    const char* expected;
    friend void PrintTo(const JoinCase& c, std::ostream* os) { *os << c.folder << " + " << c.name; }
};

class JoinRules : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinRules, JoinsAsTheSystemDoes) {
    const JoinCase& c = GetParam();
    EXPECT_EQ(JoinPath(c.folder, c.name), c.expected);
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
    std::string folder;
    std::string name;
    friend void PrintTo(const BadCharCase& c, std::ostream* os) {
        *os << ::testing::PrintToString(c.folder + " + " + c.name);
    }
};

class InvalidCharacters : public ::testing::TestWithParam<BadCharCase> {};

TEST_P(InvalidCharacters, AreRefusedInEitherPart) {
    const BadCharCase& c = GetParam();
    EXPECT_TRUE(HasInvalidPathChars(c.folder + c.name));
    EXPECT_THAT([&] { JoinPath(c.folder, c.name); },
                ::testing::ThrowsMessage<ArgumentException>(
                    ::testing::StrEq("Invalid characters in path")));
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

struct NativeCase {
    PathStyle style;
    const char* path;
    const char* expected;
    friend void PrintTo(const NativeCase& c, std::ostream* os) {
        *os << (c.style == PathStyle::Windows ? "windows " : "posix ") << c.path;
    }
};

class NativeForms : public ::testing::TestWithParam<NativeCase> {};

TEST_P(NativeForms, UseTheStylesDelimiter) {
    const NativeCase& c = GetParam();
    EXPECT_EQ(ToNativePath(c.path, c.style), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, NativeForms,
    ::testing::Values(NativeCase{PathStyle::Posix, "/srv/corvane/Relatorio\\Layout01.rav",
                                 "/srv/corvane/Relatorio/Layout01.rav"},
                      NativeCase{PathStyle::Posix, "/mnt/servidor/\\", "/mnt/servidor//"},
                      NativeCase{PathStyle::Windows, "C:/Corvane/Relatorio\\Layout01.rav",
                                 "C:\\Corvane\\Relatorio\\Layout01.rav"},
                      NativeCase{PathStyle::Windows, "//srv01/corvane/Ação.exe",
                                 "\\\\srv01\\corvane\\Ação.exe"},
                      NativeCase{PathStyle::Windows, "\\\\?\\D:\\Cont/contabil.exe",
                                 "\\\\?\\D:\\Cont\\contabil.exe"},
                      NativeCase{PathStyle::Windows, "C:midas.dll", "C:midas.dll"}));

TEST(Paths, TheNativeStyleIsTheHosts) {
    const PathStyle host = HostPathStyle();
    EXPECT_NE(host, PathStyle::Native);
    for (const char* path : {"/srv/corvane/Relatorio\\Layout01.rav", "C:/Corvane\\x", "//a\\\\b"}) {
        EXPECT_EQ(ToNativePath(path), ToNativePath(path, host)) << path;
        EXPECT_EQ(PathKey(path), PathKey(path, host)) << path;
    }
}

// Two spellings name one file for a system exactly when their keys are equal.
struct KeyCase {
    PathStyle style;
    const char* first;
    const char* second;
    bool oneFile;
    friend void PrintTo(const KeyCase& c, std::ostream* os) {
        *os << (c.style == PathStyle::Windows ? "windows " : "posix ") << c.first << " | "
            << c.second;
    }
};

class KeyRules : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyRules, MatchSpellingsOfOneFile) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(PathKey(c.first, c.style) == PathKey(c.second, c.style), c.oneFile)
        << PathKey(c.first, c.style) << " | " << PathKey(c.second, c.style);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, KeyRules,
    ::testing::Values(
        KeyCase{PathStyle::Posix, "/tmp/x\\mod.exe", "/tmp/x//mod.exe", true},
        KeyCase{PathStyle::Posix, "/opt/app/\\x.dll", "/opt/app/x.dll", true},
        KeyCase{PathStyle::Posix, "\\\\?\\/opt/app/x.dll", "/opt/app/x.dll", true},
        // Case-sensitive file systems: other capitals are another file.
        KeyCase{PathStyle::Posix, "/tmp/x/mod.exe", "/tmp/x/MOD.EXE", false},
        KeyCase{PathStyle::Posix, "/opt/Ação/x", "/opt/AÇÃO/x", false},
        KeyCase{PathStyle::Posix, "/tmp/x/mod.exe", "/tmp/y/mod.exe", false},
        // Windows compares names without regard to case, drive letters included.
        KeyCase{PathStyle::Windows, "C:\\Corvane\\Vostrel.exe", "c:/corvane/VOSTREL.EXE", true},
        KeyCase{PathStyle::Windows, "C:\\Corvane\\Ação.exe", "C:\\CORVANE\\AÇÃO.EXE", true},
        KeyCase{PathStyle::Windows, "C:\\Corvane\\\\midas.dll", "C:\\Corvane\\midas.dll", true},
        KeyCase{PathStyle::Windows, "\\\\?\\C:\\Corvane\\midas.dll", "C:\\Corvane\\midas.dll",
                true},
        KeyCase{PathStyle::Windows, "\\\\?\\UNC\\srv01\\corvane\\a.dll", "//SRV01/Corvane/A.dll",
                true},
        KeyCase{PathStyle::Windows, "C:\\Corvane\\midas.dll", "D:\\Corvane\\midas.dll", false},
        KeyCase{PathStyle::Windows, "C:\\Corvane\\midas.dll", "C:\\Corvane\\midas.bpl", false},
        // A network path is not the folder of the same name at the root of the current drive.
        KeyCase{PathStyle::Windows, "\\\\srv01\\corvane\\a.dll", "\\srv01\\corvane\\a.dll",
                false}));

TEST(Paths, WindowsKeysKeepTheNetworkPathsOpening) {
    EXPECT_EQ(PathKey("//srv01//corvane/a.dll", PathStyle::Windows), "\\\\SRV01\\CORVANE\\A.DLL");
    EXPECT_EQ(PathKey("//srv01//corvane/a.dll", PathStyle::Posix), "/srv01/corvane/a.dll");
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

TEST(Paths, TheExtendedPrefixLiftsTheLengthLimit) {
    const std::string longPath = "C:\\" + std::string(300, 'x');
    EXPECT_TRUE(IsPathTooLong(longPath));
    EXPECT_FALSE(IsPathTooLong("\\\\?\\" + longPath));
    EXPECT_EQ(WithoutExtendedPrefix("\\\\?\\" + longPath), longPath);
    EXPECT_EQ(WithoutExtendedPrefix(longPath), longPath);
    EXPECT_NO_THROW(CheckPathLength(std::string(kMaxPathLength - 1, 'x')));
    EXPECT_THAT([] { CheckPathLength(std::string(kMaxPathLength, 'x')); },
                ::testing::ThrowsMessage<PathTooLongException>(
                    ::testing::StrEq("The specified path is too long")));
}

// The path limits count characters of the path as UTF-16 code units, not bytes: a path of
// accented letters one unit under the limit (far over it in bytes) is taken, one at the limit
// is refused, by every operation that tests it.
enum class LimitedOperation { Copy, Create, Delete, ListRoot };

struct LimitCase {
    const char* label;
    LimitedOperation operation;
    size_t limit;
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.label;
}

class PathLimit : public ::testing::TestWithParam<LimitCase> {
protected:
    void SetUp() override {
        std::filesystem::create_directories(server_);
        std::filesystem::create_directories(local_);
    }

    // A path of exactly units UTF-16 units under local_, of folders named with "é" (two bytes
    // each, one unit); the folders above its last level exist, and a folder path ends with a
    // backslash.
    std::string AccentedPath(size_t units, bool folder) {
        std::string path = local_.string();
        const std::string letter = "\xC3\xA9";
        size_t made = path.size(); // the temporary folder's path is ASCII
        const size_t end = folder ? units - 1 : units;
        while (made < end) {
            size_t level = std::min<size_t>(100, end - made - 1);
            if (end - made - 1 - level == 1)
                --level; // else the last level would have no letter
            std::filesystem::create_directories(path);
            path += '/';
            for (size_t i = 0; i < level; ++i)
                path += letter;
            made += level + 1;
        }
        if (folder) {
            std::filesystem::create_directories(path);
            path += '\\';
        }
        EXPECT_EQ(Utf16Length(path), units);
        EXPECT_GT(path.size(), GetParam().limit);
        return path;
    }

    void Apply(const std::string& path) {
        switch (GetParam().operation) {
        case LimitedOperation::Copy:
            CopyFileReplacing(test::WriteFile(server_, "mod.exe", "new").string(), path,
                              test::TestAge(), FilePermissions::Data);
            break;
        case LimitedOperation::Create:
            FileStream(path).Close();
            break;
        case LimitedOperation::Delete:
            std::ofstream(std::filesystem::path(path)) << "old";
            DeleteFileChecked(path);
            break;
        case LimitedOperation::ListRoot:
            ListFilesWithAges(path);
            break;
        }
    }

    test::TempFolder temp_;
    std::filesystem::path server_ = temp_.Path() / "server";
    std::filesystem::path local_ = temp_.Path() / "local";
};

TEST_P(PathLimit, CountsCharactersNotBytes) {
    const bool folder = GetParam().operation == LimitedOperation::ListRoot;
    EXPECT_NO_THROW(Apply(AccentedPath(GetParam().limit - 1, folder)));
    std::filesystem::remove_all(local_);
    std::filesystem::create_directories(local_);
    // FileStream tells the limit in its own words ("Cannot create file ... too long").
    EXPECT_THAT([&] { Apply(AccentedPath(GetParam().limit, folder)); },
                ::testing::ThrowsMessage<Exception>(::testing::HasSubstr("too long")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathLimit,
    ::testing::Values(LimitCase{"Copy", LimitedOperation::Copy, kMaxPathLength},
                      LimitCase{"CreateForWriting", LimitedOperation::Create, kMaxPathLength},
                      LimitCase{"CheckedDelete", LimitedOperation::Delete, kMaxPathLength},
                      LimitCase{"ListingRoot", LimitedOperation::ListRoot, kMaxListingRootLength}),
    [](const auto& c) { return std::string(c.param.label); });

} // namespace
} // namespace corvane
