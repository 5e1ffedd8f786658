#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "tests/support/FileTree.h"
#include "tests/support/ReplacementWriter.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

using test::FilesUnder;
using test::ReadFile;
using test::TestAge;
using test::WriteFile;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

class FileReplacement : public ::testing::Test {
protected:
    test::TempFolder temp_;
    std::filesystem::path server_ = temp_.Path() / "server";
    std::filesystem::path local_ = temp_.Path() / "local";
    void SetUp() override {
        std::filesystem::create_directories(server_);
        std::filesystem::create_directories(local_);
    }
};

TEST_F(FileReplacement, CopyReplacesTheTargetWithTheSourceStampedWithTheAge) {
    const auto source = WriteFile(server_, "mod.exe", "new module", TestAge(1));
    const auto target = WriteFile(local_, "mod.exe", "old", TestAge(2));

    CopyFileReplacing(source.string(), target.string(), TestAge(7), FilePermissions::Program);

    EXPECT_EQ(ReadFile(target), "new module");
    EXPECT_EQ(FileAge(target.string()), TestAge(7));
    EXPECT_EQ(FilesUnder(local_), std::vector<std::string>{"mod.exe"});
}

// The copy's permissions are the ones asked for, whatever the source allowed (a share may
// present a program as 0644, or a data file as 0755), and whatever the old target had.
struct PermissionsCase {
    const char* name;
    std::filesystem::perms source;
    FilePermissions asked;
    bool executable;
};

class CopiedPermissions : public FileReplacement,
                          public ::testing::WithParamInterface<PermissionsCase> {};

TEST_P(CopiedPermissions, AreTheOnesAskedFor) {
    namespace fs = std::filesystem;
    const PermissionsCase& c = GetParam();
    const auto source = WriteFile(server_, "file", "content");
    fs::permissions(source, c.source);
    const auto copied = local_ / "copied";
    const auto replaced = WriteFile(local_, "replaced", "old");
    fs::permissions(replaced, c.executable ? fs::perms(0644) : fs::perms(0755));
    const auto overwritten = WriteFile(local_, "overwritten", "old");
    fs::permissions(overwritten, c.executable ? fs::perms(0644) : fs::perms(0755));

    CopyFileReplacing(source.string(), copied.string(), TestAge(), c.asked);
    CopyFileReplacing(source.string(), replaced.string(), TestAge(), c.asked);
    ASSERT_TRUE(CopyFileOver(source.string(), overwritten.string(), c.asked));

    const mode_t mask = ::umask(0);
    ::umask(mask);
    const auto expected = fs::perms((c.executable ? 0777 : 0666) & ~mask);
    for (const auto& file : {copied, replaced, overwritten}) {
        EXPECT_EQ(fs::status(file).permissions(), expected) << file;
        EXPECT_EQ(ReadFile(file), "content") << file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CopiedPermissions,
    ::testing::Values(PermissionsCase{"ProgramFromAReadOnlyShare", std::filesystem::perms(0444),
                                      FilePermissions::Program, true},
                      PermissionsCase{"ProgramWithoutExecuteBit", std::filesystem::perms(0644),
                                      FilePermissions::Program, true},
                      PermissionsCase{"DataWithExecuteBits", std::filesystem::perms(0755),
                                      FilePermissions::Data, false},
                      PermissionsCase{"DataOwnerOnly", std::filesystem::perms(0600),
                                      FilePermissions::Data, false}),
    [](const auto& c) { return std::string(c.param.name); });

TEST_F(FileReplacement, CopyAcceptsSystemPathsAndCopiesLargeAndEmptyFiles) {
    const std::string big(3 * 1024 * 1024 + 17, 'b');
    WriteFile(server_, "Relatorio\\big.rav", big);
    WriteFile(server_, "empty.ini", "");
    std::filesystem::create_directories(local_ / "Relatorio");
    const std::string server = server_.string() + "\\";
    const std::string local = local_.string() + "\\";

    CopyFileReplacing(server + "Relatorio\\big.rav", local + "Relatorio\\big.rav", TestAge(),
                      FilePermissions::Data);
    CopyFileReplacing(server + "empty.ini", local + "empty.ini", TestAge(), FilePermissions::Data);

    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "big.rav"), big);
    EXPECT_EQ(ReadFile(local_ / "empty.ini"), "");
}

TEST_F(FileReplacement, AReaderOfTheOldFileKeepsItWholeWhileTheNewOneTakesItsPlace) {
    const auto target = WriteFile(local_, "in-use.dll", "old bytes");
    const auto source = WriteFile(server_, "in-use.dll", "new bytes");
    const int reader = ::open(target.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);

    CopyFileReplacing(source.string(), target.string(), TestAge(), FilePermissions::Data);

    char buffer[32] = {};
    const auto got = ::pread(reader, buffer, sizeof buffer, 0);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), "old bytes");
    EXPECT_EQ(ReadFile(target), "new bytes");
}

// Each failure leaves the old target as it was and no temporary file behind.
class FailedCopy : public FileReplacement {
protected:
    void ExpectOldTargetIntact(const std::filesystem::path& target) {
        EXPECT_EQ(ReadFile(target), "old");
        EXPECT_EQ(FileAge(target.string()), TestAge(2));
        EXPECT_EQ(FilesUnder(target.parent_path()),
                  std::vector<std::string>{target.filename().string()});
    }
};

TEST_F(FailedCopy, MissingSource) {
    const auto target = WriteFile(local_, "mod.exe", "old", TestAge(2));
    EXPECT_THAT(
        [&] {
            CopyFileReplacing((server_ / "mod.exe").string(), target.string(), TestAge(),
                              FilePermissions::Data);
        },
        ThrowsMessage<SystemError>(StrEq("No such file or directory")));
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, SourceIsAFolder) {
    std::filesystem::create_directories(server_ / "mod.exe");
    const auto target = WriteFile(local_, "mod.exe", "old", TestAge(2));
    EXPECT_THAT(
        [&] {
            CopyFileReplacing((server_ / "mod.exe").string(), target.string(), TestAge(),
                              FilePermissions::Data);
        },
        ThrowsMessage<SystemError>(StrEq("Is a directory")));
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, TargetFolderMissing) {
    const auto source = WriteFile(server_, "mod.exe", "new");
    EXPECT_THAT(
        [&] {
            CopyFileReplacing(source.string(), (local_ / "nowhere" / "mod.exe").string(), TestAge(),
                              FilePermissions::Data);
        },
        ThrowsMessage<SystemError>(StrEq("No such file or directory")));
    EXPECT_TRUE(FilesUnder(local_).empty());
}

TEST_F(FailedCopy, DiskFullInTheMiddle) {
    const auto source = WriteFile(server_, "mod.exe", std::string(4 * 1024 * 1024, 'n'));
    const auto target = WriteFile(local_, "mod.exe", "old", TestAge(2));
    // A file size limit fails the write exactly as a full disk does.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 1024 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string message;
    try {
        CopyFileReplacing(source.string(), target.string(), TestAge(), FilePermissions::Data);
    } catch (const SystemError& e) {
        message = e.what();
    }
    // The limit goes back before any check can end the test.
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(message, "File too large");
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, PathsAtTheLengthLimitOrWithInvalidCharacters) {
    const auto source = WriteFile(server_, "mod.exe", "new");
    const std::string longTarget = local_.string() + "/" + std::string(260, 'x');
    EXPECT_THAT(
        [&] { CopyFileReplacing(source.string(), longTarget, TestAge(), FilePermissions::Data); },
        ThrowsMessage<PathTooLongException>(StrEq("The specified path is too long")));
    EXPECT_THAT(
        [&] {
            CopyFileReplacing(source.string(), local_.string() + "/a\"b", TestAge(),
                              FilePermissions::Data);
        },
        ThrowsMessage<ArgumentException>(StrEq("Invalid characters in path")));
    EXPECT_TRUE(FilesUnder(local_).empty());
}

// A copy that the file permissions refuse, on either side, fails with the system's message.
enum class ClosedSide { TargetFolder, Source };

struct PermissionCase {
    const char* label;
    ClosedSide closed;
};

void PrintTo(const PermissionCase& c, std::ostream* os) {
    *os << c.label;
}

class FailedCopyForPermissions : public FailedCopy,
                                 public ::testing::WithParamInterface<PermissionCase> {};

TEST_P(FailedCopyForPermissions, FailsWithPermissionDenied) {
    const auto source = WriteFile(server_, "mod.exe", "new");
    const auto target = WriteFile(local_, "mod.exe", "old", TestAge(2));
    if (GetParam().closed == ClosedSide::TargetFolder)
        std::filesystem::permissions(local_, std::filesystem::perms(0555));
    else
        std::filesystem::permissions(source, std::filesystem::perms::none);
    const auto result = test::RunWithoutFilePrivileges(temp_.Path(), [&] {
        const bool refused = ::testing::Value(
            [&] {
                CopyFileReplacing(source.string(), target.string(), TestAge(),
                                  FilePermissions::Data);
            },
            ThrowsMessage<SystemError>(StrEq("Permission denied")));
        return refused ? 0 : 1;
    });
    if (!result)
        GTEST_SKIP() << test::kNoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
    ExpectOldTargetIntact(target);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedCopyForPermissions,
    ::testing::Values(PermissionCase{"TargetFolderClosedToWriting", ClosedSide::TargetFolder},
                      PermissionCase{"SourceClosedToReading", ClosedSide::Source}),
    [](const auto& c) { return std::string(c.param.label); });

// What an interrupted writer left is removed; what a live writer holds, in another process or
// in this one, stays, and its replacement still completes.
TEST_F(FileReplacement, OnlyAbandonedTemporaryFilesAreRemoved) {
    test::ReplacementWriter killed(local_ / "Morvik.exe");
    test::ReplacementWriter alive(local_ / "gds32.dll");
    ReplacementFile here((local_ / "central.ini").string());
    here.Write("ini", 3);
    killed.Kill();
    ASSERT_TRUE(std::filesystem::exists(killed.TemporaryFile()));

    EXPECT_EQ(RemoveAbandonedReplacementFiles(local_.string()), 1u);
    EXPECT_FALSE(std::filesystem::exists(killed.TemporaryFile()));
    EXPECT_TRUE(std::filesystem::exists(alive.TemporaryFile()));
    EXPECT_TRUE(std::filesystem::exists(here.TemporaryName()));

    here.Commit(TestAge());
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "ini");
    alive.Kill();
    EXPECT_EQ(RemoveAbandonedReplacementFiles(local_.string() + "\\"), 1u);
    EXPECT_EQ(FilesUnder(local_), std::vector<std::string>{"central.ini"});
}

// Only the names a replacement makes are ever taken, and only plain files under them.
struct LeftoverCase {
    const char* name;
    const char* fileName;
    bool removed;
};

class Leftover : public FileReplacement, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(Leftover, IsRemovedOnlyUnderATemporaryName) {
    const LeftoverCase& c = GetParam();
    WriteFile(local_, c.fileName, "left");
    EXPECT_EQ(RemoveAbandonedReplacementFiles(local_.string()), c.removed ? 1u : 0u);
    EXPECT_EQ(std::filesystem::exists(local_ / c.fileName), !c.removed);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Leftover,
    ::testing::Values(LeftoverCase{"Ours", ".corvane-0123456789abcdef.tmp", true},
                      LeftoverCase{"CapitalDigits", ".corvane-0123456789ABCDEF.tmp", false},
                      LeftoverCase{"ShortDigits", ".corvane-0123456789abcde.tmp", false},
                      LeftoverCase{"LongDigits", ".corvane-0123456789abcdef0.tmp", false},
                      LeftoverCase{"NotHexadecimal", ".corvane-0123456789abcdeg.tmp", false},
                      LeftoverCase{"NoDot", "corvane-0123456789abcdef.tmp", false},
                      LeftoverCase{"Prefixed", "x.corvane-0123456789abcdef.tmp", false},
                      LeftoverCase{"OtherExtension", ".corvane-0123456789abcdef.tmp.bak", false},
                      LeftoverCase{"OtherStem", ".corvano-0123456789abcdef.tmp", false},
                      LeftoverCase{"AModule", "Morvik.exe", false}),
    [](const auto& c) { return std::string(c.param.name); });

TEST_F(FileReplacement, AFolderOrALinkUnderATemporaryNameStays) {
    const auto target = WriteFile(local_, "central.ini", "ini");
    std::filesystem::create_directory(local_ / ".corvane-00000000000000aa.tmp");
    std::filesystem::create_symlink(target, local_ / ".corvane-00000000000000bb.tmp");
    EXPECT_EQ(RemoveAbandonedReplacementFiles(local_.string()), 0u);
    EXPECT_TRUE(std::filesystem::is_directory(local_ / ".corvane-00000000000000aa.tmp"));
    EXPECT_TRUE(std::filesystem::is_symlink(local_ / ".corvane-00000000000000bb.tmp"));
    EXPECT_EQ(ReadFile(target), "ini");
}

TEST_F(FileReplacement, AMissingFolderHasNothingToRemove) {
    EXPECT_EQ(RemoveAbandonedReplacementFiles((local_ / "nowhere").string()), 0u);
}

} // namespace
} // namespace corvane
