// The hash of a download worked out beside it gives the same digest as hashing the bytes in
// one go, whether it hashes the blocks as they come (a small file) or on its own thread (a large
// one, or one of unknown length), and it lets go of its thread when a download breaks off.
#include "update/StreamSha256.h"

#include "update/RunningThreads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace corvane {
namespace {

std::string Bytes(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

Sha256Digest OneGo(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

class StreamSha256Sizes : public ::testing::TestWithParam<std::optional<std::uint64_t>> {};

TEST_P(StreamSha256Sizes, GiveTheDigestOfTheBytesInOneGo) {
    // Past a few of the thread's blocks, ending in a part block.
    const std::string bytes = Bytes((std::size_t{9} << 20) + 12345);
    StreamSha256 hash(GetParam());
    std::vector<char> block;
    std::size_t at = 0;
    for (std::size_t piece = 1; at < bytes.size(); piece = piece * 3 % 2'000'001 + 1) {
        const std::size_t size = std::min(piece, bytes.size() - at);
        block.assign(bytes.data() + at, bytes.data() + at + size);
        block = hash.Pass(std::move(block));
        EXPECT_TRUE(block.empty());
        at += size;
    }
    EXPECT_EQ(hash.Finish(), OneGo(bytes));
}

// A size below the thread's threshold hashes as the bytes come; the others on a thread.
INSTANTIATE_TEST_SUITE_P(ListedSizes, StreamSha256Sizes,
                         ::testing::Values(std::optional<std::uint64_t>(1000),
                                           std::optional<std::uint64_t>(StreamSha256::kThreadFrom),
                                           std::nullopt));

TEST(StreamSha256, AnEmptyStreamHasTheDigestOfNothing) {
    StreamSha256 hash(std::nullopt);
    EXPECT_EQ(Sha256Hex(hash.Finish()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(StreamSha256, ADownloadThatBreaksOffLetsGoOfTheThread) {
    ASSERT_TRUE(RunningThreads::WaitForNone(std::chrono::seconds(30)));
    const std::string bytes = Bytes(std::size_t{6} << 20);
    for (const std::size_t given : {std::size_t{0}, std::size_t{100}, bytes.size()}) {
        {
            StreamSha256 hash(std::nullopt);
            EXPECT_EQ(RunningThreads::Count(), 1u);
            hash.Pass(std::vector<char>(bytes.data(), bytes.data() + given));
        }
        EXPECT_EQ(RunningThreads::Count(), 0u) << given;
    }
}

} // namespace
} // namespace corvane
