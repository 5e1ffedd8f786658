#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "tests/support/FileTree.h"

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
    std::filesystem::permissions(source, std::filesystem::perms(0750));
    const auto target = WriteFile(local_, "mod.exe", "old", TestAge(2));

    CopyFileReplacing(source.string(), target.string(), TestAge(7));

    EXPECT_EQ(ReadFile(target), "new module");
    EXPECT_EQ(FileAge(target.string()), TestAge(7));
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms(0700),
              std::filesystem::perms(0700)); // an executable stays executable
    EXPECT_EQ(FilesUnder(local_), std::vector<std::string>{"mod.exe"});
}

TEST_F(FileReplacement, CopyAcceptsSystemPathsAndCopiesLargeAndEmptyFiles) {
    const std::string big(3 * 1024 * 1024 + 17, 'b');
    WriteFile(server_, "Relatorio\\big.rav", big);
    WriteFile(server_, "empty.ini", "");
    std::filesystem::create_directories(local_ / "Relatorio");
    const std::string server = server_.string() + "\\";
    const std::string local = local_.string() + "\\";

    CopyFileReplacing(server + "Relatorio\\big.rav", local + "Relatorio\\big.rav", TestAge());
    CopyFileReplacing(server + "empty.ini", local + "empty.ini", TestAge());

    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "big.rav"), big);
    EXPECT_EQ(ReadFile(local_ / "empty.ini"), "");
}

TEST_F(FileReplacement, AReaderOfTheOldFileKeepsItWholeWhileTheNewOneTakesItsPlace) {
    const auto target = WriteFile(local_, "in-use.dll", "old bytes");
    const auto source = WriteFile(server_, "in-use.dll", "new bytes");
    const int reader = ::open(target.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);

    CopyFileReplacing(source.string(), target.string(), TestAge());

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
        [&] { CopyFileReplacing((server_ / "mod.exe").string(), target.string(), TestAge()); },
        ThrowsMessage<EOSError>(StrEq("No such file or directory")));
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, SourceIsAFolder) {
    std::filesystem::create_directories(server_ / "mod.exe");
    const auto target = WriteFile(local_, "mod.exe", "old", TestAge(2));
    EXPECT_THAT(
        [&] { CopyFileReplacing((server_ / "mod.exe").string(), target.string(), TestAge()); },
        ThrowsMessage<EOSError>(StrEq("Is a directory")));
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, TargetFolderMissing) {
    const auto source = WriteFile(server_, "mod.exe", "new");
    EXPECT_THAT(
        [&] {
            CopyFileReplacing(source.string(), (local_ / "nowhere" / "mod.exe").string(),
                              TestAge());
        },
        ThrowsMessage<EOSError>(StrEq("No such file or directory")));
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
        CopyFileReplacing(source.string(), target.string(), TestAge());
    } catch (const EOSError& e) {
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
    EXPECT_THAT([&] { CopyFileReplacing(source.string(), longTarget, TestAge()); },
                ThrowsMessage<PathTooLongException>(StrEq("The specified path is too long")));
    EXPECT_THAT([&] { CopyFileReplacing(source.string(), local_.string() + "/a\"b", TestAge()); },
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
            [&] { CopyFileReplacing(source.string(), target.string(), TestAge()); },
            ThrowsMessage<EOSError>(StrEq("Permission denied")));
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

} // namespace
} // namespace corvane
