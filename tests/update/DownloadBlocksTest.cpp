// A download gathered into blocks reaches its file and its hash whole and in order, whatever
// the sizes of the pieces it arrives in and wherever the blocks end: with and without a hash,
// with the listed size known (a small file gets a block of its size) and unknown.
#include "update/DownloadBlocks.h"

#include "platform/DateTime.h"
#include "tests/support/FileTree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace corvane {
namespace {

std::string Bytes(std::size_t size) {
    std::mt19937 random(11);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

constexpr std::size_t kBlock = DownloadBlocks::kBlockSize;

class DownloadBlocksSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DownloadBlocksSizes, WriteAndHashEveryByteOnce) {
    const std::string bytes = Bytes(GetParam());
    Sha256 oneGo;
    oneGo.Update(bytes.data(), bytes.size());
    const std::string expected = Sha256Hex(oneGo.Finish());
    test::TempFolder folder;
    for (const bool sizeKnown : {true, false}) {
        for (const bool hashed : {true, false}) {
            SCOPED_TRACE(::testing::Message()
                         << "size known " << sizeKnown << ", hashed " << hashed);
            const auto target = folder.Path() / "Arquivo.dll";
            const std::optional<std::uint64_t> size =
                sizeKnown ? std::optional<std::uint64_t>(bytes.size()) : std::nullopt;
            std::optional<StreamSha256> hash;
            if (hashed)
                hash.emplace(size);
            {
                ReplacementFile file(target.string());
                DownloadBlocks blocks(file, size, hash ? &*hash : nullptr);
                std::size_t at = 0;
                for (std::size_t piece = 1; at < bytes.size(); piece = piece * 7 % 300'007 + 1) {
                    const std::size_t taken = std::min(piece, bytes.size() - at);
                    blocks.Add(bytes.data() + at, taken);
                    at += taken;
                }
                blocks.Finish();
                file.Commit(test::TestAge());
            }
            EXPECT_TRUE(test::ReadFile(target) == bytes);
            if (hash) {
                EXPECT_EQ(Sha256Hex(hash->Finish()), expected);
            }
        }
    }
}

// Around one block's end, and several blocks ending in a part block.
INSTANTIATE_TEST_SUITE_P(Sizes, DownloadBlocksSizes,
                         ::testing::Values(std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock,
                                           kBlock + 1, 5 * kBlock + 12345));

} // namespace
} // namespace corvane
