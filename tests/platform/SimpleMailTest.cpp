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
        std::string LTemplate = (std::filesystem::temp_directory_path() / "mailXXXXXX").string();
        ASSERT_NE(::mkdtemp(LTemplate.data()), nullptr);
        FFolder = LTemplate;
        const char* LPath = std::getenv("PATH");
        FOldPath = LPath ? LPath : "";
        ::setenv("PATH", ("/nonexistent:" + FFolder.string()).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", FOldPath.c_str(), 1);
        std::filesystem::remove_all(FFolder);
    }

    void WriteTool(int AExitCode) {
        const std::filesystem::path LTool = FFolder / "xdg-email";
        std::ofstream(LTool) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \""
                             << (FFolder / "args").string() << "\"\nexit " << AExitCode << "\n";
        std::filesystem::permissions(LTool, std::filesystem::perms::owner_all);
    }

    std::string ToolArguments() const {
        std::ifstream LFile(FFolder / "args");
        std::stringstream LText;
        LText << LFile.rdbuf();
        return LText.str();
    }

    std::filesystem::path FFolder;
    std::string FOldPath;
};

TEST_F(SimpleMailTest, ToolOutcomeMapsOntoResultCodes) {
    const struct {
        int ExitCode;
        int Result;
    } LCases[] = {
        {0, SUCCESS_SUCCESS}, {3, MAPI_USER_ABORT}, {4, MAPI_E_FAILURE}, {1, MAPI_E_FAILURE}};
    for (const auto& LCase : LCases) {
        WriteTool(LCase.ExitCode);
        TSimpleMail LMail;
        EXPECT_EQ(LMail.SendMail("suporte@corvane.example"), LCase.Result)
            << "exit code " << LCase.ExitCode;
        // One argument: the link with the address alone, so subject and body stay empty.
        EXPECT_EQ(ToolArguments(), "mailto:suporte@corvane.example\n");
    }
}

// Without the tool every send answers as a cancel, and the look-up is not repeated: a tool
// installed later is not seen until the launcher restarts.
TEST_F(SimpleMailTest, MissingToolIsLookedForOnce) {
    TSimpleMail LMail;
    EXPECT_EQ(LMail.SendMail("suporte@corvane.example"), MAPI_USER_ABORT);
    WriteTool(0);
    EXPECT_EQ(LMail.SendMail("suporte@corvane.example"), MAPI_USER_ABORT);
    EXPECT_TRUE(ToolArguments().empty());
    TSimpleMail LFresh;
    EXPECT_EQ(LFresh.SendMail("suporte@corvane.example"), SUCCESS_SUCCESS);
}

TEST(SimpleMailResultText, ListedCodesHaveTextsOthersNone) {
    EXPECT_EQ(SimpleMailResultText(MAPI_USER_ABORT),
              "The user canceled one of the dialog boxes; no message was sent.");
    EXPECT_EQ(SimpleMailResultText(MAPI_E_TEXT_TOO_LARGE),
              "The text in the message was too large to sent; the message was not sent.");
    for (int LCode : {0, 4, 6, 13, 22, -1})
        EXPECT_EQ(SimpleMailResultText(LCode), "") << LCode;
    for (int LCode : {1, 2, 3, 5, 9, 10, 11, 12, 14, 15, 18, 21})
        EXPECT_FALSE(SimpleMailResultText(LCode).empty()) << LCode;
}

} // namespace
} // namespace corvane
