#include "platform/FileSystem.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

class FileStreams : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("corvane-filestreams-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        file_ = (folder_ / "Corvane.EXE").string();
        std::ofstream out(file_, std::ios::binary);
        for (int i = 0; i < 70000; ++i)
            out.put(static_cast<char>(i % 251));
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
    std::string file_;
};

TEST_F(FileStreams, ReadsPiecesByOffset) {
    const FileBytes file(file_);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 70000u);
    std::array<std::byte, 4> piece{};
    ASSERT_TRUE(file.ReadAt(69996, piece));
    for (size_t i = 0; i < piece.size(); ++i)
        EXPECT_EQ(std::to_integer<int>(piece[i]), (69996 + static_cast<int>(i)) % 251);
    EXPECT_TRUE(file.ReadAt(70000, std::span<std::byte>()));
}

TEST_F(FileStreams, RangesNotWhollyInsideTheFileAreRefused) {
    const FileBytes file(file_);
    std::array<std::byte, 4> piece{};
    EXPECT_FALSE(file.ReadAt(69997, piece));
    EXPECT_FALSE(file.ReadAt(70001, std::span<std::byte>()));
    EXPECT_FALSE(file.ReadAt(UINT64_MAX - 1, piece)); // offset + size overflows
}

// A server copy replaced while it is being read: the read fails instead of giving zeros.
TEST_F(FileStreams, FileCutAfterOpeningFailsTheRead) {
    const FileBytes file(file_);
    ASSERT_EQ(::truncate(file_.c_str(), 1000), 0);
    std::array<std::byte, 16> piece{};
    EXPECT_TRUE(file.ReadAt(0, piece));
    EXPECT_FALSE(file.ReadAt(60000, piece));
}

TEST_F(FileStreams, OnlyRegularFilesOpen) {
    ASSERT_EQ(::mkfifo((folder_ / "pipe").c_str(), 0600), 0); // would block a plain open
    for (const auto& name : {"absent", "pipe", ""}) {
        const FileBytes file(name[0] ? (folder_ / name).string() : std::string());
        EXPECT_FALSE(file.IsOpen()) << name;
        EXPECT_EQ(file.Size(), 0u);
        std::array<std::byte, 1> piece{};
        EXPECT_FALSE(file.ReadAt(0, piece));
    }
    EXPECT_FALSE(FileBytes(folder_.string()).IsOpen());
}

TEST_F(FileStreams, SystemPathsWithBackslashesReachTheFile) {
    std::filesystem::create_directories(folder_ / "servidor");
    std::ofstream((folder_ / "servidor" / "Corvane.EXE").string()) << "MZ";
    const std::string system = folder_.string() + "\\servidor\\Corvane.EXE";
    EXPECT_TRUE(FileBytes(system).IsOpen());
    EXPECT_EQ(FileSizeOf(system), 2);
}

TEST_F(FileStreams, SizeOfRegularFilesOnly) {
    std::ofstream((folder_ / "empty").string()).close();
    ASSERT_EQ(::mkfifo((folder_ / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(FileSizeOf(file_), 70000);
    EXPECT_EQ(FileSizeOf((folder_ / "empty").string()), 0);
    EXPECT_EQ(FileSizeOf((folder_ / "absent").string()), -1);
    EXPECT_EQ(FileSizeOf((folder_ / "pipe").string()), -1);
    EXPECT_EQ(FileSizeOf(folder_.string()), -1);
    EXPECT_EQ(FileSizeOf(""), -1);
}

} // namespace
} // namespace corvane
