// Which starts count as the same launcher, and what a second start sends the first.
#include "shell/SingleInstancePolicy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

TEST(SingleInstancePolicyTest, KeyIgnoresLetterCaseOnly) {
    EXPECT_EQ(InstanceKey("/opt/Corvane/Corvane.EXE"), InstanceKey("/OPT/corvane/corvane.exe"));
    EXPECT_EQ(InstanceKey("/opt/Ação/x"), InstanceKey("/opt/AÇÃO/X"));
    EXPECT_EQ(InstanceKey("/opt/Corvane/./bin/../Corvane.EXE"),
              InstanceKey("/opt/Corvane/Corvane.EXE"));
    EXPECT_NE(InstanceKey("/opt/Corvane/Corvane.EXE"), InstanceKey("/opt/Corvane2/Corvane.EXE"));
    EXPECT_NE(InstanceKey("/opt/Corvane/Corvane.EXE"), InstanceKey("/opt/Corvane/Corvane.OLD"));
}

// The key names a lock file and a socket: plain characters, and short enough for a socket
// path however long the executable's path is.
TEST(SingleInstancePolicyTest, KeyIsAShortFileName) {
    for (const std::string& path :
         {std::string("/opt/Corvane/Corvane.EXE"), "/" + std::string(4000, 'x') + "/Corvane.EXE",
          std::string("/opt/pasta com espaços/\"aspas\"/Corvane.EXE")}) {
        const std::string key = InstanceKey(path);
        EXPECT_EQ(key.size(), std::string("corvane-plexa-").size() + 16) << key;
        EXPECT_EQ(key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-"), std::string::npos)
            << key;
    }
}

struct HandOverCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string message;
};

class HandOverMessageTest : public ::testing::TestWithParam<HandOverCase> {};

TEST_P(HandOverMessageTest, ArgumentsOnePerLineThenANull) {
    EXPECT_EQ(HandOverMessage(GetParam().arguments), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, HandOverMessageTest,
    ::testing::Values(HandOverCase{"None", {}, std::string(1, '\0')},
                      HandOverCase{
                          "Two", {"/x", "linha dois"}, std::string("/x\nlinha dois\0", 14)},
                      HandOverCase{"EmptyFirst", {"", "x"}, std::string("\nx\0", 3)}),
    [](const auto& c) { return std::string(c.param.name); });

} // namespace
} // namespace corvane
