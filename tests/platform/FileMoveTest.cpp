#include "platform/FileMove.h"
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

class FileMoveFolder : public ::testing::Test {
protected:
    void SetUp() override {
        FFolder = fs::temp_directory_path() /
                  ("corvane-filemove-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
    }
    void TearDown() override { fs::remove_all(FFolder); }

    void Write(const char* name, const std::string& content) const {
        std::ofstream(FFolder / name, std::ios::binary) << content;
    }
    // The folder as the launcher writes paths: backslashes before the names.
    std::string Path(const char* name) const { return FFolder.string() + "\\" + name; }

    fs::path FFolder;
};

TEST_F(FileMoveFolder, MoveRefusesToOverwriteAndLeavesBothFiles) {
    Write("a", "first");
    Write("b", "second");
    EXPECT_FALSE(MoveFileTo(Path("a"), Path("b")));
    EXPECT_EQ(ReadFile(FFolder / "a"), "first");
    EXPECT_EQ(ReadFile(FFolder / "b"), "second");

    EXPECT_FALSE(MoveFileTo(Path("missing"), Path("c")));
    EXPECT_TRUE(MoveFileTo(Path("a"), Path("c")));
    EXPECT_FALSE(fs::exists(FFolder / "a"));
    EXPECT_EQ(ReadFile(FFolder / "c"), "first");
}

TEST_F(FileMoveFolder, DeleteSucceedsWhenNoFileIsLeft) {
    Write("a", "x");
    EXPECT_TRUE(DeleteFileAt(Path("a")));
    EXPECT_FALSE(fs::exists(FFolder / "a"));
    EXPECT_TRUE(DeleteFileAt(Path("a")));
    // A folder under the name is not a file that could be deleted.
    fs::create_directories(FFolder / "d");
    EXPECT_FALSE(DeleteFileAt(Path("d")));
    EXPECT_TRUE(fs::exists(FFolder / "d"));
}

TEST_F(FileMoveFolder, CopyOverwritesAndKeepsTheExecutableBit) {
    Write("src", "new content");
    fs::permissions(FFolder / "src", fs::perms::owner_all);
    Write("dst", "an older and longer content");
    EXPECT_TRUE(CopyFileOver(Path("src"), Path("dst")));
    EXPECT_EQ(ReadFile(FFolder / "dst"), "new content");
    EXPECT_NE(fs::status(FFolder / "dst").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_FALSE(CopyFileOver(Path("missing"), Path("dst2")));
    EXPECT_FALSE(fs::exists(FFolder / "dst2"));
}

TEST_F(FileMoveFolder, StartProcessStartsTheProgramDetached) {
    const auto fifo = FFolder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opened before the start, without blocking, so a program that never runs makes the
    // poll below time out instead of hanging the test.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const auto script = FFolder / "programa";
    std::ofstream(script) << "#!/bin/sh\ncut -d' ' -f6 /proc/$$/stat > '" << fifo.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);

    ASSERT_TRUE(StartDetachedProcess(script.string(), TStartupInfo{}));
    pollfd ready{reader, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 30000), 1);
    char buffer[64] = {};
    const auto count = ::read(reader, buffer, sizeof buffer - 1);
    ::close(reader);
    ASSERT_GT(count, 0);
    // Its own session, not this process's.
    EXPECT_NE(std::stol(buffer), static_cast<long>(::getsid(0)));

    EXPECT_FALSE(StartDetachedProcess((FFolder / "missing").string(), TStartupInfo{}));
}

TEST(CurrentDir, IsTheProcessesCurrentFolder) {
    EXPECT_EQ(fs::path(GetCurrentDir()), fs::current_path());
}

} // namespace
} // namespace corvane
