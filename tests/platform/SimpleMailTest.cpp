// The support e-mail's platform part: a stand-in xdg-email on a PATH of the test's own
// records what it was given and ends with the exit code under test.
#include "platform/SimpleMail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane {
namespace {

class SimpleMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templateValue =
            (std::filesystem::temp_directory_path() / "mailXXXXXX").string();
        ASSERT_NE(::mkdtemp(templateValue.data()), nullptr);
        folder_ = templateValue;
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        ::setenv("PATH", ("/nonexistent:" + folder_.string()).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        std::filesystem::remove_all(folder_);
    }

    void WriteTool(int exitCode) {
        const std::filesystem::path tool = folder_ / "xdg-email";
        std::ofstream(tool) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \""
                            << (folder_ / "args").string() << "\"\nexit " << exitCode << "\n";
        std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    }

    std::string ToolArguments() const {
        std::ifstream file(folder_ / "args");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::filesystem::path folder_;
    std::string oldPath_;
};

TEST_F(SimpleMailTest, ToolOutcomeMapsOntoResultCodes) {
    const struct {
        int exitCode;
        int result;
    } cases[] = {{0, MailSuccess}, {3, MailUserAbort}, {4, MailFailure}, {1, MailFailure}};
    for (const auto& caseValue : cases) {
        WriteTool(caseValue.exitCode);
        SimpleMail mail;
        EXPECT_EQ(mail.SendMail("suporte@corvane.example"), caseValue.result)
            << "exit code " << caseValue.exitCode;
        // One argument: the link with the address alone, so subject and body stay empty.
        EXPECT_EQ(ToolArguments(), "mailto:suporte@corvane.example\n");
    }
}

// Without the tool every send answers as a cancel, and the look-up is not repeated: a tool
// installed later is not seen until the launcher restarts.
TEST_F(SimpleMailTest, MissingToolIsLookedForOnce) {
    SimpleMail mail;
    EXPECT_EQ(mail.SendMail("suporte@corvane.example"), MailUserAbort);
    WriteTool(0);
    EXPECT_EQ(mail.SendMail("suporte@corvane.example"), MailUserAbort);
    EXPECT_TRUE(ToolArguments().empty());
    SimpleMail fresh;
    EXPECT_EQ(fresh.SendMail("suporte@corvane.example"), MailSuccess);
}

TEST(SimpleMailResultText, ListedCodesHaveTextsOthersNone) {
    EXPECT_EQ(SimpleMailResultText(MailUserAbort),
              "The user canceled one of the dialog boxes; no message was sent.");
    EXPECT_EQ(SimpleMailResultText(MailTextTooLarge),
              "The text in the message was too large to sent; the message was not sent.");
    for (int code : {0, 4, 6, 13, 22, -1})
        EXPECT_EQ(SimpleMailResultText(code), "") << code;
    for (int code : {1, 2, 3, 5, 9, 10, 11, 12, 14, 15, 18, 21})
        EXPECT_FALSE(SimpleMailResultText(code).empty()) << code;
}

} // namespace
} // namespace corvane
