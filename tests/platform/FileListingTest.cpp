#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/Unicode.h"
#include "tests/support/FileTree.h"

#include <cerrno>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace corvane {
namespace {

using test::TestAge;
using test::WriteFile;

std::vector<std::string> Names(const std::vector<TListedFile>& files) {
    std::vector<std::string> names;
    for (const auto& file : files)
        names.push_back(file.FileName);
    return names;
}

class FileListing : public ::testing::Test {
protected:
    test::TTempFolder FTemp;
    std::string FRoot = FTemp.Folder();
};

TEST_F(FileListing, ListsEveryFileOfTheTreeWithItsAgeInOrdinalOrder) {
    WriteFile(FTemp.Path(), "b.dll", "1", TestAge(1));
    WriteFile(FTemp.Path(), "B.exe", "2", TestAge(2));
    WriteFile(FTemp.Path(), ".hidden", "3", TestAge(3));
    WriteFile(FTemp.Path(), "NODOT", "4", TestAge(4));
    WriteFile(FTemp.Path(), "Relatorio\\Layout01.rav", "5", TestAge(5));
    WriteFile(FTemp.Path(), "Relatorio\\Sub\\deep.txt", "6", TestAge(6));
    std::filesystem::create_directories(FTemp.Path() / "Empty");

    const auto files = ListFilesWithAges(FRoot);

    // Capitals sort before small letters; the root is kept exactly as passed and the levels
    // below it are joined with backslashes.
    EXPECT_EQ(Names(files),
              (std::vector<std::string>{FRoot + ".hidden", FRoot + "B.exe", FRoot + "NODOT",
                                        FRoot + "Relatorio\\Layout01.rav",
                                        FRoot + "Relatorio\\Sub\\deep.txt", FRoot + "b.dll"}));
    for (const auto& file : files) {
        ASSERT_TRUE(file.Age) << file.FileName;
        EXPECT_EQ(file.Age, FileAge(file.FileName)) << file.FileName;
    }
}

TEST_F(FileListing, FollowsLinksWithoutLoopingAndLeavesOutWhatIsNoFile) {
    WriteFile(FTemp.Path(), "real\\file.dll", "x", TestAge());
    std::filesystem::create_symlink("real/file.dll", FTemp.Path() / "link.dll");
    std::filesystem::create_directory_symlink("real", FTemp.Path() / "linked");
    std::filesystem::create_directory_symlink("..", FTemp.Path() / "real" / "up");
    std::filesystem::create_symlink("nowhere", FTemp.Path() / "dangling");
    ASSERT_EQ(::mkfifo((FTemp.Path() / "pipe").c_str(), 0600), 0);

    const auto files = ListFilesWithAges(FRoot);

    // "real\up" leads back to the root, which is being listed already.
    EXPECT_EQ(Names(files),
              (std::vector<std::string>{FRoot + "dangling", FRoot + "link.dll",
                                        FRoot + "linked\\file.dll", FRoot + "real\\file.dll"}));
    EXPECT_EQ(files[0].Age, std::nullopt);
    EXPECT_EQ(files[1].Age, TestAge());
    EXPECT_EQ(files[2].Age, TestAge());
}

struct TBadRoot {
    const char* Label;
    std::string Root; // relative to the temporary folder unless absolute
    const char* Message;
};

void PrintTo(const TBadRoot& c, std::ostream* os) {
    *os << c.Label;
}

class FileListingRefuses : public ::testing::TestWithParam<TBadRoot> {};

TEST_P(FileListingRefuses, RootsThatCannotBeListed) {
    test::TTempFolder temp;
    WriteFile(temp.Path(), "a-file", "x");
    std::string root = GetParam().Root;
    if (!root.empty() && root[0] != '/')
        root = temp.Folder() + root;
    EXPECT_THAT([&] { ListFilesWithAges(root); },
                ::testing::ThrowsMessage<Exception>(::testing::StrEq(GetParam().Message)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileListingRefuses,
    ::testing::Values(TBadRoot{"Missing", "not-there\\", "The specified path was not found"},
                      TBadRoot{"AFile", "a-file\\", "The specified path was not found"},
                      TBadRoot{"Empty", "", "The specified path was not found"},
                      TBadRoot{"TooLong", "/" + std::string(247, 'x'),
                               "The specified path is too long"},
                      TBadRoot{"Pipe", "bad|name\\", "Invalid characters in path"},
                      TBadRoot{"Control", "bad\tname\\", "Invalid characters in path"}),
    [](const auto& c) { return std::string(c.param.Label); });

TEST(FileListingLimits, ARootJustUnderTheLimitIsListed) {
    test::TTempFolder temp;
    std::string root = temp.Folder();
    const std::string name(247 - root.size() - 1, 'd');
    std::filesystem::create_directory(temp.Path() / name);
    root += name + '\\';
    ASSERT_EQ(Utf16Length(root), 247u);
    WriteFile(temp.Path() / name, "x.dll", "x");
    EXPECT_EQ(Names(ListFilesWithAges(root)), std::vector<std::string>{root + "x.dll"});
}

// A subfolder closed to the reader hides its files: the rest of the tree is listed and the
// closed folders are told, the root and subfolders joined as the files' names are.
TEST(FileListingLimits, SubfoldersClosedToTheReaderAreLeftOutAndTold) {
    test::TTempFolder temp;
    WriteFile(temp.Path(), "open.dll", "x");
    WriteFile(temp.Path(), "closed\\secret.dll", "x");
    WriteFile(temp.Path(), "Relatorio\\Layout01.rav", "x");
    WriteFile(temp.Path(), "Relatorio\\Fechado\\Layout02.rav", "x");
    std::filesystem::permissions(temp.Path() / "closed", std::filesystem::perms::none);
    std::filesystem::permissions(temp.Path() / "Relatorio" / "Fechado",
                                 std::filesystem::perms::none);
    const std::string root = temp.Folder();
    const auto result = test::RunWithoutFilePrivileges(temp.Path(), [&] {
        std::vector<TUnreadFolder> unread;
        const auto names = Names(ListFilesWithAges(root, unread));
        if (names != std::vector<std::string>{root + "Relatorio\\Layout01.rav", root + "open.dll"})
            return 1;
        if (unread.size() != 2 || unread[0].FolderName != root + "Relatorio\\Fechado" ||
            unread[1].FolderName != root + "closed")
            return 2;
        for (const TUnreadFolder& folder : unread)
            if (folder.ErrorCode != EACCES || folder.Message != "Permission denied")
                return 3;
        return 0;
    });
    if (!result)
        GTEST_SKIP() << test::NoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
}

} // namespace
} // namespace corvane
