#include "platform/Unicode.h"

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>

namespace corvane {
namespace {

// The validator decides which texts pass as they are (file names the service lists, a reason
// phrase, the text of a file) and which are read in another encoding: each way of being
// ill-formed is refused, and the edges of the valid ranges are taken.
struct Utf8Case {
    const char* label;
    std::string bytes;
    bool valid;
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.label;
}

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, RefusesEveryIllFormedSequence) {
    EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Validity,
    ::testing::Values(Utf8Case{"Empty", "", true}, Utf8Case{"Ascii", "Relatorio\\a.rav", true},
                      Utf8Case{"AccentsAndEmoji", "a\xC3\xA7\xC3\xA3o \xF0\x9F\x98\x80", true},
                      Utf8Case{"NulByte", std::string("a\0b", 3), true},
                      Utf8Case{"LastBeforeSurrogates", "\xED\x9F\xBF", true},
                      Utf8Case{"FirstAfterSurrogates", "\xEE\x80\x80", true},
                      Utf8Case{"LastOfTheBasicPlane", "\xEF\xBF\xBF", true},
                      Utf8Case{"LastCodePoint", "\xF4\x8F\xBF\xBF", true},
                      Utf8Case{"CutShort", "a\xC3", false},
                      Utf8Case{"CutShortFourBytes", "\xF0\x9F\x98", false},
                      Utf8Case{"LoneContinuationByte", "a\x80", false},
                      Utf8Case{"Latin1Letter", "Instala\xE7\xE3o", false},
                      Utf8Case{"OverlongTwoBytes", "\xC0\xAF", false},
                      Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", false},
                      Utf8Case{"OverlongFourBytes", "\xF0\x80\x80\xAF", false},
                      Utf8Case{"FirstSurrogate", "\xED\xA0\x80", false},
                      Utf8Case{"LastSurrogate", "\xED\xBF\xBF", false},
                      Utf8Case{"AboveTheLastCodePoint", "\xF4\x90\x80\x80", false},
                      Utf8Case{"FiveByteLead", "\xF8\x88\x80\x80\x80", false},
                      Utf8Case{"ByteFF", "\xFF", false}),
    [](const auto& c) { return std::string(c.param.label); });

// ICU's own reading of UTF-8, as the other side of the comparison below.
bool IcuTakesAsUtf8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(data, i, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

// Every lead byte with every second byte, and the edges of the continuation range after it:
// the validator and ICU agree on each.
TEST(Utf8Validity, AgreesWithIcuOnEveryLeadAndSecondByte) {
    const std::initializer_list<unsigned char> edges = {0x00, 0x7F, 0x80, 0x8F, 0x90,
                                                        0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    std::string bytes;
    for (int lead = 0; lead < 256; ++lead)
        for (int second = 0; second < 256; ++second)
            for (size_t tail = 0; tail <= 2; ++tail)
                for (const unsigned char edge : edges) {
                    bytes.assign({static_cast<char>(lead), static_cast<char>(second)});
                    bytes.append(tail, static_cast<char>(edge));
                    ASSERT_EQ(IsValidUtf8(bytes), IcuTakesAsUtf8(bytes))
                        << ::testing::PrintToString(bytes);
                    if (tail == 0)
                        break; // the same bytes for every edge
                }
}

struct Order {
    const char* less;
    const char* greater;
};

void PrintTo(const Order& c, std::ostream* os) {
    *os << c.less << " < " << c.greater;
}

class OrdinalOrder : public ::testing::TestWithParam<Order> {};

TEST_P(OrdinalOrder, FollowsUtf16CodeUnits) {
    EXPECT_TRUE(OrdinalLess(GetParam().less, GetParam().greater));
    EXPECT_FALSE(OrdinalLess(GetParam().greater, GetParam().less));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OrdinalOrder,
    ::testing::Values(Order{"B", "a"}, Order{"a", "ab"}, Order{"Z\\x", "Za"},
                      Order{"\xC3\xA9", "\xC3\xAA"},               // é < ê
                      Order{"\xF0\x9F\x98\x80", "\xEF\xBF\xBD"},   // U+1F600 < U+FFFD
                      Order{"\xED\x9F\xBF", "\xF0\x9F\x98\x80"})); // U+D7FF < U+1F600

TEST(OrdinalOrder, EqualTextsAreNotLess) {
    EXPECT_FALSE(OrdinalLess("same", "same"));
}

TEST(Utf16Length, CountsSurrogatePairsAsTwoAndAnIllFormedByteAsOne) {
    EXPECT_EQ(Utf16Length(""), 0u);
    EXPECT_EQ(Utf16Length("abc"), 3u);
    EXPECT_EQ(Utf16Length("\xC3\xA9"), 1u);
    EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80"), 2u);
    EXPECT_EQ(Utf16Length("a\xE7\xE3o"), 4u);   // Windows-1252 bytes
    EXPECT_EQ(Utf16Length("\xED\xA0\x80"), 3u); // a surrogate is no character
}

} // namespace
} // namespace corvane
