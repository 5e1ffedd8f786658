#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("corvane-filesystem-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    void Write(const char* name, const std::string& content) const {
        std::ofstream(folder_ / name, std::ios::binary) << content;
    }
    // The folder as the launcher writes paths: backslashes before the names.
    std::string Path(const char* name) const { return folder_.string() + "\\" + name; }

    fs::path folder_;
};

TEST_F(FileSystem, MoveRefusesToOverwriteAndLeavesBothFiles) {
    Write("a", "first");
    Write("b", "second");
    EXPECT_FALSE(MoveFileTo(Path("a"), Path("b")));
    EXPECT_EQ(ReadFile(folder_ / "a"), "first");
    EXPECT_EQ(ReadFile(folder_ / "b"), "second");

    EXPECT_FALSE(MoveFileTo(Path("missing"), Path("c")));
    EXPECT_TRUE(MoveFileTo(Path("a"), Path("c")));
    EXPECT_FALSE(fs::exists(folder_ / "a"));
    EXPECT_EQ(ReadFile(folder_ / "c"), "first");
}

TEST_F(FileSystem, DeleteSucceedsWhenNoFileIsLeft) {
    Write("a", "x");
    EXPECT_TRUE(DeleteFileAt(Path("a")));
    EXPECT_FALSE(fs::exists(folder_ / "a"));
    EXPECT_TRUE(DeleteFileAt(Path("a")));
    // A folder under the name is not a file that could be deleted.
    fs::create_directories(folder_ / "d");
    EXPECT_FALSE(DeleteFileAt(Path("d")));
    EXPECT_TRUE(fs::exists(folder_ / "d"));
}

TEST_F(FileSystem, CopyOverwrites) {
    Write("src", "new content");
    Write("dst", "an older and longer content");
    EXPECT_TRUE(CopyFileOver(Path("src"), Path("dst"), FilePermissions::Program));
    EXPECT_EQ(ReadFile(folder_ / "dst"), "new content");
    EXPECT_FALSE(CopyFileOver(Path("missing"), Path("dst2"), FilePermissions::Program));
    EXPECT_FALSE(fs::exists(folder_ / "dst2"));
    EXPECT_FALSE(CopyFileOver(Path("src"), Path("nowhere/dst3"), FilePermissions::Program));
    // No temporary file of the copies stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

TEST_F(FileSystem, FilesAndFoldersAreToldApart) {
    Write("file.dll", "x");
    EXPECT_TRUE(FileExists(Path("file.dll")));
    EXPECT_FALSE(DirectoryExists(Path("file.dll")));
    EXPECT_TRUE(DirectoryExists(folder_.string()));
    EXPECT_FALSE(FileExists(folder_.string()));
    EXPECT_FALSE(FileExists(Path("absent.dll")));
    EXPECT_FALSE(DirectoryExists(Path("absent")));
    EXPECT_FALSE(FileExists(""));
}

TEST_F(FileSystem, ForceDirectoriesCreatesEveryMissingLevel) {
    const std::string chain = folder_.string() + "\\a\\b\\c\\";
    EXPECT_TRUE(ForceDirectories(chain));
    EXPECT_TRUE(DirectoryExists(chain));
    EXPECT_TRUE(ForceDirectories(chain)); // already there
    Write("blocker", "x");
    EXPECT_FALSE(ForceDirectories(folder_.string() + "\\blocker\\sub"));
}

TEST_F(FileSystem, CreateDirMakesOneLevel) {
    EXPECT_TRUE(CreateDir(Path("one")));
    EXPECT_TRUE(DirectoryExists(Path("one")));
    EXPECT_FALSE(CreateDir(Path("one")));        // already there
    EXPECT_FALSE(CreateDir(Path("two\\three"))); // its parent is missing
}

TEST_F(FileSystem, ReadsAWholeFile) {
    const std::string content(200'000, 'z');
    Write("big.ini", content);
    std::string read = "left over";
    ASSERT_TRUE(ReadWholeFile(Path("big.ini"), read));
    EXPECT_EQ(read, content);
    EXPECT_FALSE(ReadWholeFile(Path("absent.ini"), read));
}

TEST(CurrentDir, IsTheProcessesCurrentFolder) {
    EXPECT_EQ(fs::path(GetCurrentDir()), fs::current_path());
}

} // namespace
} // namespace corvane
