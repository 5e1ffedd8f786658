// SHA-256 against the published test vectors, fed whole and in pieces, and its hex form.
#include "platform/Sha256.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace corvane {
namespace {

struct VectorCase {
    const char* label;
    std::string message;
    const char* digest;
};

void PrintTo(const VectorCase& c, std::ostream* os) {
    *os << c.label;
}

class Sha256Vectors : public ::testing::TestWithParam<VectorCase> {};

TEST_P(Sha256Vectors, GiveThePublishedDigestWholeOrInPieces) {
    const VectorCase& c = GetParam();
    Sha256 whole;
    whole.Update(c.message.data(), c.message.size());
    EXPECT_EQ(Sha256Hex(whole.Finish()), c.digest);
    // Pieces of uneven sizes, empty ones among them.
    Sha256 pieces;
    std::size_t at = 0;
    for (std::size_t piece = 0; at < c.message.size(); piece = (piece * 7 + 3) % 1000) {
        const std::size_t size = std::min(piece, c.message.size() - at);
        pieces.Update(c.message.data() + at, size);
        at += size;
    }
    EXPECT_EQ(Sha256Hex(pieces.Finish()), c.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Published, Sha256Vectors,
    ::testing::Values(
        VectorCase{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        VectorCase{"Abc", "abc",
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        VectorCase{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        VectorCase{"MillionA", std::string(1'000'000, 'a'),
                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const auto& c) { return std::string(c.param.label); });

TEST(Sha256Hex, ReadsBackEitherCaseAndRefusesAnythingElse) {
    const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::optional<Sha256Digest> digest = Sha256FromHex(lower);
    ASSERT_TRUE(digest);
    EXPECT_EQ((*digest)[0], 0xba);
    EXPECT_EQ((*digest)[31], 0xad);
    EXPECT_EQ(Sha256Hex(*digest), lower);
    EXPECT_EQ(Sha256FromHex("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"),
              digest);
    for (const std::string& bad :
         {std::string(), lower.substr(1), lower + "0", std::string("g").append(lower, 1),
          lower.substr(0, 63) + " ", std::string("0x").append(lower, 2)})
        EXPECT_EQ(Sha256FromHex(bad), std::nullopt) << bad;
}

} // namespace
} // namespace corvane
