#include "platform/FileOps.h"
#include "platform/DirectoryList.h"
#include "platform/Errors.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "tests/support/FileTree.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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

class FileOps : public ::testing::Test {
protected:
    test::TTempFolder FTemp;
    std::filesystem::path FServer = FTemp.Path() / "server";
    std::filesystem::path FLocal = FTemp.Path() / "local";
    void SetUp() override {
        std::filesystem::create_directories(FServer);
        std::filesystem::create_directories(FLocal);
    }
};

TEST_F(FileOps, CopyReplacesTheTargetWithTheSourceStampedWithTheAge) {
    const auto source = WriteFile(FServer, "mod.exe", "new module", TestAge(1));
    std::filesystem::permissions(source, std::filesystem::perms(0750));
    const auto target = WriteFile(FLocal, "mod.exe", "old", TestAge(2));

    CopyFileReplacing(source.string(), target.string(), TestAge(7));

    EXPECT_EQ(ReadFile(target), "new module");
    EXPECT_EQ(FileAge(target.string()), TestAge(7));
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms(0700),
              std::filesystem::perms(0700)); // an executable stays executable
    EXPECT_EQ(FilesUnder(FLocal), std::vector<std::string>{"mod.exe"});
}

TEST_F(FileOps, CopyAcceptsSystemPathsAndCopiesLargeAndEmptyFiles) {
    const std::string big(3 * 1024 * 1024 + 17, 'b');
    WriteFile(FServer, "Relatorio\\big.rav", big);
    WriteFile(FServer, "empty.ini", "");
    std::filesystem::create_directories(FLocal / "Relatorio");
    const std::string server = FServer.string() + "\\";
    const std::string local = FLocal.string() + "\\";

    CopyFileReplacing(server + "Relatorio\\big.rav", local + "Relatorio\\big.rav", TestAge());
    CopyFileReplacing(server + "empty.ini", local + "empty.ini", TestAge());

    EXPECT_EQ(ReadFile(FLocal / "Relatorio" / "big.rav"), big);
    EXPECT_EQ(ReadFile(FLocal / "empty.ini"), "");
}

TEST_F(FileOps, AReaderOfTheOldFileKeepsItWholeWhileTheNewOneTakesItsPlace) {
    const auto target = WriteFile(FLocal, "in-use.dll", "old bytes");
    const auto source = WriteFile(FServer, "in-use.dll", "new bytes");
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
class FailedCopy : public FileOps {
protected:
    void ExpectOldTargetIntact(const std::filesystem::path& target) {
        EXPECT_EQ(ReadFile(target), "old");
        EXPECT_EQ(FileAge(target.string()), TestAge(2));
        EXPECT_EQ(FilesUnder(target.parent_path()),
                  std::vector<std::string>{target.filename().string()});
    }
};

TEST_F(FailedCopy, MissingSource) {
    const auto target = WriteFile(FLocal, "mod.exe", "old", TestAge(2));
    try {
        CopyFileReplacing((FServer / "mod.exe").string(), target.string(), TestAge());
        FAIL();
    } catch (const EOSError& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
    }
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, SourceIsAFolder) {
    std::filesystem::create_directories(FServer / "mod.exe");
    const auto target = WriteFile(FLocal, "mod.exe", "old", TestAge(2));
    EXPECT_THROW(CopyFileReplacing((FServer / "mod.exe").string(), target.string(), TestAge()),
                 EOSError);
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, TargetFolderMissing) {
    const auto source = WriteFile(FServer, "mod.exe", "new");
    EXPECT_THROW(
        CopyFileReplacing(source.string(), (FLocal / "nowhere" / "mod.exe").string(), TestAge()),
        EOSError);
    EXPECT_TRUE(FilesUnder(FLocal).empty());
}

TEST_F(FailedCopy, DiskFullInTheMiddle) {
    const auto source = WriteFile(FServer, "mod.exe", std::string(4 * 1024 * 1024, 'n'));
    const auto target = WriteFile(FLocal, "mod.exe", "old", TestAge(2));
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
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(message, "File too large");
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, TargetFolderClosedToWriting) {
    const auto source = WriteFile(FServer, "mod.exe", "new");
    const auto target = WriteFile(FLocal, "mod.exe", "old", TestAge(2));
    std::filesystem::permissions(FLocal, std::filesystem::perms(0555));
    const auto result = test::RunWithoutFilePrivileges(FTemp.Path(), [&] {
        try {
            CopyFileReplacing(source.string(), target.string(), TestAge());
            return 1;
        } catch (const EOSError& e) {
            return std::string(e.what()) == "Permission denied" ? 0 : 2;
        }
    });
    if (!result)
        GTEST_SKIP() << test::NoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, SourceClosedToReading) {
    const auto source = WriteFile(FServer, "mod.exe", "new");
    std::filesystem::permissions(source, std::filesystem::perms::none);
    const auto target = WriteFile(FLocal, "mod.exe", "old", TestAge(2));
    const auto result = test::RunWithoutFilePrivileges(FTemp.Path(), [&] {
        try {
            CopyFileReplacing(source.string(), target.string(), TestAge());
            return 1;
        } catch (const EOSError& e) {
            return std::string(e.what()) == "Permission denied" ? 0 : 2;
        }
    });
    if (!result)
        GTEST_SKIP() << test::NoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
    ExpectOldTargetIntact(target);
}

TEST_F(FailedCopy, PathsAtTheLengthLimit) {
    const auto source = WriteFile(FServer, "mod.exe", "new");
    const std::string longTarget = FLocal.string() + "/" + std::string(260, 'x');
    try {
        CopyFileReplacing(source.string(), longTarget, TestAge());
        FAIL();
    } catch (const EPathTooLongException& e) {
        EXPECT_STREQ(e.what(), "The specified path is too long");
    }
    EXPECT_THROW(CopyFileReplacing(source.string(), FLocal.string() + "/a\"b", TestAge()),
                 EArgumentException);
    EXPECT_TRUE(FilesUnder(FLocal).empty());
}

// The path limits count characters of the path as UTF-16 code units, not bytes: a path of
// accented letters one unit under the limit (far over it in bytes) is taken, one at the limit
// is refused, by every operation that tests it.
enum class TLimitedOperation { Copy, Create, Delete, ListRoot };

struct TLimitCase {
    const char* Label;
    TLimitedOperation Operation;
    size_t Limit;
};

void PrintTo(const TLimitCase& c, std::ostream* os) {
    *os << c.Label;
}

class PathLimit : public FileOps, public ::testing::WithParamInterface<TLimitCase> {
protected:
    // A path of exactly AUnits UTF-16 units under FLocal, of folders named with "é" (two bytes
    // each, one unit); the folders above its last level exist, and a folder path ends with a
    // backslash.
    std::string AccentedPath(size_t AUnits, bool AFolder) {
        std::string path = FLocal.string();
        const std::string letter = "\xC3\xA9";
        size_t units = path.size(); // the temporary folder's path is ASCII
        const size_t end = AFolder ? AUnits - 1 : AUnits;
        while (units < end) {
            size_t level = std::min<size_t>(100, end - units - 1);
            if (end - units - 1 - level == 1)
                --level; // else the last level would have no letter
            std::filesystem::create_directories(path);
            path += '/';
            for (size_t i = 0; i < level; ++i)
                path += letter;
            units += level + 1;
        }
        if (AFolder) {
            std::filesystem::create_directories(path);
            path += '\\';
        }
        EXPECT_EQ(Utf16Length(path), AUnits);
        EXPECT_GT(path.size(), GetParam().Limit);
        return path;
    }

    void Apply(const std::string& APath) {
        switch (GetParam().Operation) {
        case TLimitedOperation::Copy:
            CopyFileReplacing(WriteFile(FServer, "mod.exe", "new").string(), APath, TestAge());
            break;
        case TLimitedOperation::Create:
            TFileStream(APath).Close();
            break;
        case TLimitedOperation::Delete:
            std::ofstream(std::filesystem::path(APath)) << "old";
            DeleteFileChecked(APath);
            break;
        case TLimitedOperation::ListRoot:
            ListFilesWithAges(APath);
            break;
        }
    }
};

TEST_P(PathLimit, CountsCharactersNotBytes) {
    const bool folder = GetParam().Operation == TLimitedOperation::ListRoot;
    EXPECT_NO_THROW(Apply(AccentedPath(GetParam().Limit - 1, folder)));
    std::filesystem::remove_all(FLocal);
    std::filesystem::create_directories(FLocal);
    try {
        Apply(AccentedPath(GetParam().Limit, folder));
        ADD_FAILURE() << "a path at the limit was taken";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("too long"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathLimit,
    ::testing::Values(TLimitCase{"Copy", TLimitedOperation::Copy, MaxPathLength},
                      TLimitCase{"CreateForWriting", TLimitedOperation::Create, MaxPathLength},
                      TLimitCase{"CheckedDelete", TLimitedOperation::Delete, MaxPathLength},
                      TLimitCase{"ListingRoot", TLimitedOperation::ListRoot, MaxListingRootLength}),
    [](const auto& c) { return std::string(c.param.Label); });

TEST_F(FileOps, ForceDirectoriesCreatesEveryMissingLevel) {
    const std::string chain = FLocal.string() + "\\a\\b\\c\\";
    EXPECT_TRUE(ForceDirectories(chain));
    EXPECT_TRUE(DirectoryExists(chain));
    EXPECT_TRUE(ForceDirectories(chain)); // already there
    WriteFile(FLocal, "blocker", "x");
    EXPECT_FALSE(ForceDirectories(FLocal.string() + "\\blocker\\sub"));
}

} // namespace
} // namespace corvane
