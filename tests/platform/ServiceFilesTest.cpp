#include "platform/ServiceFiles.h"
#include "tests/support/FileTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace corvane {
namespace {

namespace fs = std::filesystem;

// The content cache keys what it holds by the file's identity: names that lead to one file
// must give one identity, and distinct files distinct ones, whatever their content.
TEST(ServedFileIdentity, NamesOfOneFileShareItAndOtherFilesDiffer) {
    test::TempFolder folder;
    test::WriteFile(folder.Path(), "Morvik.exe", "mesmo conteúdo");
    test::WriteFile(folder.Path(), "Copia.exe", "mesmo conteúdo");
    fs::create_hard_link(folder.Path() / "Morvik.exe", folder.Path() / "Outro.exe");
    fs::create_symlink("Morvik.exe", folder.Path() / "Atalho.exe");
    ServiceRoot root(folder.Path().string());

    const std::optional<ServedFile> file = root.OpenFile("Morvik.exe");
    const std::optional<ServedFile> hardLink = root.OpenFile("Outro.exe");
    const std::optional<ServedFile> symlink = root.OpenFile("Atalho.exe");
    const std::optional<ServedFile> copy = root.OpenFile("Copia.exe");
    ASSERT_TRUE(file && hardLink && symlink && copy);
    EXPECT_EQ(file->OpenedStamp().file, hardLink->OpenedStamp().file);
    EXPECT_EQ(file->OpenedStamp().file, symlink->OpenedStamp().file);
    EXPECT_NE(file->OpenedStamp().file, copy->OpenedStamp().file);
    EXPECT_EQ(file->OpenedStamp().size, copy->OpenedStamp().size);
}

TEST(ServedFileHandle, ReleasedHandleOutlivesTheServedFileAndDuplicatesReadTheSameFile) {
    test::TempFolder folder;
    test::WriteFile(folder.Path(), "Morvik.exe", "conteúdo");
    ServiceRoot root(folder.Path().string());
    std::optional<ServedFile> file = root.OpenFile("Morvik.exe");
    ASSERT_TRUE(file);
    ASSERT_NE(file->Handle(), FileHandle::None);
    std::optional<ServedFile> duplicate = file->Duplicate();
    ASSERT_TRUE(duplicate);
    EXPECT_NE(duplicate->Handle(), file->Handle());
    EXPECT_EQ(duplicate->OpenedStamp(), file->OpenedStamp());

    const FileHandle released = file->Release();
    EXPECT_EQ(file->Handle(), FileHandle::None);
    // A served file that owns the released handle again reads it whole.
    ServedFile owner(released, duplicate->OpenedStamp());
    std::string read;
    EXPECT_TRUE(owner.ReadFromStart(
        [&read](const char* data, std::size_t size) { read.append(data, size); }));
    EXPECT_EQ(read, "conteúdo");
}

} // namespace
} // namespace corvane
