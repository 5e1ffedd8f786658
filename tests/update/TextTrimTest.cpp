#include "update/TextTrim.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string_view>

namespace corvane {
namespace {

using namespace std::string_view_literals;

enum class End { Both, Start, Finish };

struct TrimCase {
    const char* name;
    std::string_view text;
    CharTest isTrimmed;
    End end;
    std::string_view expected;
};

// Names the case in test listings rather than dumping its bytes.
void PrintTo(const TrimCase& c, std::ostream* os) {
    *os << c.name;
}

class TextTrim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TextTrim, RemovesOnlyTheSetAtTheAskedEnds) {
    const TrimCase& c = GetParam();
    std::string_view result;
    switch (c.end) {
    case End::Both:
        result = Trim(c.text, c.isTrimmed);
        break;
    case End::Start:
        result = TrimStart(c.text, c.isTrimmed);
        break;
    case End::Finish:
        result = TrimEnd(c.text, c.isTrimmed);
        break;
    }
    EXPECT_EQ(result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, TextTrim,
    ::testing::Values(
        TrimCase{"ControlsAndBlanks", " \t\x01\x1f http://srv01 \r\n\x7f"sv, IsBlankOrControl,
                 End::Both, "http://srv01 \r\n\x7f"sv},
        // UTF-8 bytes are above 0x7F: read as signed chars they would count as controls.
        TrimCase{"Utf8BytesStay", "\xC3\xA9 S\xC3\xA3o \xC3\xA3"sv, IsBlankOrControl, End::Both,
                 "\xC3\xA9 S\xC3\xA3o \xC3\xA3"sv},
        TrimCase{"NulIsAControl", "\0a\0"sv, IsBlankOrControl, End::Both, "a"sv},
        TrimCase{"OnlyBlanks", " \t\r\n "sv, IsBlankOrControl, End::Both, ""sv},
        TrimCase{"Empty", ""sv, IsSpaceOrTab, End::Both, ""sv},
        TrimCase{"SpacesAndTabs", "\t gzip \t"sv, IsSpaceOrTab, End::Both, "gzip"sv},
        TrimCase{"LineEndsStayForSpaceOrTab", " text/plain\r\n"sv, IsSpaceOrTab, End::Both,
                 "text/plain\r\n"sv},
        TrimCase{"InnerBlanksStay", "  a \t b  "sv, IsSpaceOrTab, End::Both, "a \t b"sv},
        TrimCase{"StartOnly", "  a  "sv, IsSpaceOrTab, End::Start, "a  "sv},
        TrimCase{"EndOnly", "  a  "sv, IsSpaceOrTab, End::Finish, "  a"sv}),
    [](const ::testing::TestParamInfo<TrimCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace corvane
