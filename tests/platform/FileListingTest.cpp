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

std::vector<std::string> Names(const std::vector<ListedFile>& files) {
    std::vector<std::string> names;
    for (const auto& file : files)
        names.push_back(file.fileName);
    return names;
}

class FileListing : public ::testing::Test {
protected:
    test::TempFolder temp_;
    std::string root_ = temp_.Folder();
};

TEST_F(FileListing, ListsEveryFileOfTheTreeWithItsAgeInOrdinalOrder) {
    WriteFile(temp_.Path(), "b.dll", "1", TestAge(1));
    WriteFile(temp_.Path(), "B.exe", "2", TestAge(2));
    WriteFile(temp_.Path(), ".hidden", "3", TestAge(3));
    WriteFile(temp_.Path(), "NODOT", "4", TestAge(4));
    WriteFile(temp_.Path(), "Relatorio\\Layout01.rav", "5", TestAge(5));
    WriteFile(temp_.Path(), "Relatorio\\Sub\\deep.txt", "6", TestAge(6));
    std::filesystem::create_directories(temp_.Path() / "Empty");

    const auto files = ListFilesWithAges(root_);

    // Capitals sort before small letters; the root is kept exactly as passed and the levels
    // below it are joined with backslashes.
    EXPECT_EQ(Names(files),
              (std::vector<std::string>{root_ + ".hidden", root_ + "B.exe", root_ + "NODOT",
                                        root_ + "Relatorio\\Layout01.rav",
                                        root_ + "Relatorio\\Sub\\deep.txt", root_ + "b.dll"}));
    for (const auto& file : files) {
        ASSERT_TRUE(file.age) << file.fileName;
        EXPECT_EQ(file.age, FileAge(file.fileName)) << file.fileName;
    }
}

TEST_F(FileListing, FollowsLinksWithoutLoopingAndLeavesOutWhatIsNoFile) {
    WriteFile(temp_.Path(), "real\\file.dll", "x", TestAge());
    std::filesystem::create_symlink("real/file.dll", temp_.Path() / "link.dll");
    std::filesystem::create_directory_symlink("real", temp_.Path() / "linked");
    std::filesystem::create_directory_symlink("..", temp_.Path() / "real" / "up");
    std::filesystem::create_symlink("nowhere", temp_.Path() / "dangling");
    ASSERT_EQ(::mkfifo((temp_.Path() / "pipe").c_str(), 0600), 0);

    const auto files = ListFilesWithAges(root_);

    // "real\up" leads back to the root, which is being listed already.
    EXPECT_EQ(Names(files),
              (std::vector<std::string>{root_ + "dangling", root_ + "link.dll",
                                        root_ + "linked\\file.dll", root_ + "real\\file.dll"}));
    EXPECT_EQ(files[0].age, std::nullopt);
    EXPECT_EQ(files[1].age, TestAge());
    EXPECT_EQ(files[2].age, TestAge());
}

struct BadRoot {
    const char* label;
    std::string root; // relative to the temporary folder unless absolute
    const char* message;
};

void PrintTo(const BadRoot& c, std::ostream* os) {
    *os << c.label;
}

class FileListingRefuses : public ::testing::TestWithParam<BadRoot> {};

TEST_P(FileListingRefuses, RootsThatCannotBeListed) {
    test::TempFolder temp;
    WriteFile(temp.Path(), "a-file", "x");
    std::string root = GetParam().root;
    if (!root.empty() && root[0] != '/')
        root = temp.Folder() + root;
    EXPECT_THAT([&] { ListFilesWithAges(root); },
                ::testing::ThrowsMessage<Exception>(::testing::StrEq(GetParam().message)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileListingRefuses,
    ::testing::Values(BadRoot{"Missing", "not-there\\", "The specified path was not found"},
                      BadRoot{"AFile", "a-file\\", "The specified path was not found"},
                      BadRoot{"Empty", "", "The specified path was not found"},
                      BadRoot{"TooLong", "/" + std::string(247, 'x'),
                              "The specified path is too long"},
                      BadRoot{"Pipe", "bad|name\\", "Invalid characters in path"},
                      BadRoot{"Control", "bad\tname\\", "Invalid characters in path"}),
    [](const auto& c) { return std::string(c.param.label); });

TEST(FileListingLimits, ARootJustUnderTheLimitIsListed) {
    test::TempFolder temp;
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
    test::TempFolder temp;
    WriteFile(temp.Path(), "open.dll", "x");
    WriteFile(temp.Path(), "closed\\secret.dll", "x");
    WriteFile(temp.Path(), "Relatorio\\Layout01.rav", "x");
    WriteFile(temp.Path(), "Relatorio\\Fechado\\Layout02.rav", "x");
    std::filesystem::permissions(temp.Path() / "closed", std::filesystem::perms::none);
    std::filesystem::permissions(temp.Path() / "Relatorio" / "Fechado",
                                 std::filesystem::perms::none);
    const std::string root = temp.Folder();
    const auto result = test::RunWithoutFilePrivileges(temp.Path(), [&] {
        std::vector<UnreadFolder> unread;
        const auto names = Names(ListFilesWithAges(root, unread));
        if (names != std::vector<std::string>{root + "Relatorio\\Layout01.rav", root + "open.dll"})
            return 1;
        if (unread.size() != 2 || unread[0].folderName != root + "Relatorio\\Fechado" ||
            unread[1].folderName != root + "closed")
            return 2;
        for (const UnreadFolder& folder : unread)
            if (folder.errorCode != EACCES || folder.message != "Permission denied")
                return 3;
        return 0;
    });
    if (!result)
        GTEST_SKIP() << test::kNoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
}

} // namespace
} // namespace corvane
