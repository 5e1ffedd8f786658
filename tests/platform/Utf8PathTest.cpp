#include "platform/Utf8Path.h"
#include "platform/FileSystem.h"
#include "tests/support/FileTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace corvane {
namespace {

class Utf8Paths : public ::testing::TestWithParam<const char*> {};

// A path made from UTF-8 names the file that the file functions find under the same text,
// and reads back as that text, whole or in parts.
TEST_P(Utf8Paths, NameTheSameFileAsTheFileFunctions) {
    const test::TempFolder temp;
    const std::string folder = Utf8FromPath(temp.Path()) + "/" + GetParam();
    const std::string file = folder + "/Ação Çedilha.ini";
    std::filesystem::create_directories(PathFromUtf8(folder));
    std::ofstream(PathFromUtf8(file)) << "[Servidor]\n";
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_TRUE(FileExists(file));
    EXPECT_EQ(Utf8FromPath(PathFromUtf8(file)), file);
    EXPECT_EQ(Utf8FromPath(PathFromUtf8(file).parent_path()), folder);
    EXPECT_EQ(Utf8FromPath(PathFromUtf8(file).filename()), "Ação Çedilha.ini");
}

INSTANTIATE_TEST_SUITE_P(Paths, Utf8Paths,
                         ::testing::Values("Corvane", "São José", "Ελληνικά", "日本語",
                                           "emoji \xF0\x9F\x98\x80"));

} // namespace
} // namespace corvane
