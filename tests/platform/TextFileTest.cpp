#include "platform/FileSystem.h"
#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

namespace corvane {
namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::string expected;
    friend void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }
};

class TextFiles : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(TextFiles, DecodeToUtf8) {
    EXPECT_EQ(TextFileToUtf8(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, TextFiles,
    ::testing::Values(DecodeCase{"Utf8", "[Servidor]\nurl=São", "[Servidor]\nurl=São"},
                      DecodeCase{"Utf8Mark", "\xEF\xBB\xBF[Servidor]", "[Servidor]"},
                      DecodeCase{"Utf8MarkThenJunk",
                                 "\xEF\xBB\xBF"
                                 "a\xB8"
                                 "b",
                                 "a\uFFFD"
                                 "b"},
                      DecodeCase{"Utf16LittleEndian", std::string("\xFF\xFE[\0\xE7\0\n\0", 8),
                                 "[ç\n"},
                      DecodeCase{"Utf16BigEndian", std::string("\xFE\xFF\0[\0\xE7", 6), "[ç"},
                      DecodeCase{"Utf16Pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "😀"},
                      DecodeCase{"Windows1252", "Local Exe=\\\\srv\\Instala\xE7\xE3o \x80",
                                 "Local Exe=\\\\srv\\Instalação €"},
                      // An odd last byte or a lone surrogate costs one character, not the text.
                      DecodeCase{"Utf16OddLength",
                                 std::string("\xFF\xFE"
                                             "a\0b",
                                             5),
                                 "a\uFFFD"},
                      DecodeCase{"Utf16LoneSurrogate",
                                 std::string("\xFF\xFE"
                                             "a\0\x3D\xD8",
                                             6),
                                 "a\uFFFD"},
                      DecodeCase{"Empty", "", ""}, DecodeCase{"EmptyUtf16", "\xFF\xFE", ""}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(TextFiles, JunkNeverFailsAndComesOutAsValidUtf8) {
    std::mt19937 random(20190100);
    for (int round = 0; round < 50; ++round) {
        std::string junk(static_cast<size_t>(random() % 4096), '\0');
        for (char& c : junk)
            c = static_cast<char>(random());
        if (round % 3 == 0)
            junk.insert(0, round % 2 ? "\xFF\xFE" : "\xFE\xFF");
        const std::string text = TextFileToUtf8(junk);
        ASSERT_TRUE(IsValidUtf8(text)) << "round " << round;
    }
}

} // namespace
} // namespace corvane
