// The support e-mail: the mail program waited for off the main thread, its outcome shown on the
// main thread, the "Falha" text for each result.
#include "shell/SupportMail.h"

#include "platform/Errors.h"
#include "shell/Contacts.h"
#include "tests/shell/FakeLauncherView.h"
#include "tests/support/MainThreadFixture.h"
#include "update/RunningThreads.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <string>

namespace corvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeLauncherView;
using testing::Patience;
using testing::ShownMessage;

struct ResultCase {
    const char* name;
    int result;
    bool shown;
    std::string text;
};

class SupportMailResultTest : public ::testing::TestWithParam<ResultCase> {};

TEST_P(SupportMailResultTest, FalhaDialogWithTheResultsText) {
    const ResultCase& c = GetParam();
    FakeLauncherView view;
    SupportMail::ShowResult(view, c.result);
    if (!c.shown) {
        EXPECT_TRUE(view.messages.empty());
        return;
    }
    EXPECT_THAT(view.messages, ElementsAre(ShownMessage{MessageKind::Error, c.text}));
}

INSTANTIATE_TEST_SUITE_P(
    Results, SupportMailResultTest,
    ::testing::Values(
        ResultCase{"Success", 0, false, ""},
        ResultCase{"NoMailTool", 1, true,
                   "The user canceled one of the dialog boxes; no message was sent."},
        ResultCase{"Failure", 2, true,
                   "One or more unspecified errors occurred; no message was sent."},
        ResultCase{"UnknownRecipient", 14, true,
                   "A recipient did not appear in the address list; no message was sent."},
        ResultCase{"AmbiguousRecipient", 21, true,
                   "A recipient matched more than one of the recipient descriptor structures and "
                   "MAPI_DIALOG was not set. No message was sent."},
        ResultCase{"Unlisted", 4, true, ""}),
    [](const auto& c) { return std::string(c.param.name); });

// A mail program that waits until the test lets it end.
class SupportMailTest : public testing::TMainThreadTest {
protected:
    SupportMail::Sender HeldSender(int result) {
        return [this, result](const std::string& address) {
            addresses.set_value(address);
            release.get_future().wait();
            return result;
        };
    }

    FakeLauncherView view;
    std::promise<std::string> addresses;
    std::promise<void> release;
};

// Send returns while the mail program runs; the outcome comes once it has ended.
TEST_F(SupportMailTest, WindowAnswersWhileTheMailProgramRuns) {
    SupportMail mail(view, HeldSender(2));
    mail.Send();
    EXPECT_EQ(addresses.get_future().get(), SupportEmail);
    EXPECT_EQ(mail.Underway(), 1);
    Loop->ProcessMessages();
    EXPECT_TRUE(view.messages.empty());

    release.set_value();
    ASSERT_TRUE(RunLoopUntil([&] { return mail.Underway() == 0; }));
    EXPECT_THAT(
        view.messages,
        ElementsAre(ShownMessage{MessageKind::Error,
                                 "One or more unspecified errors occurred; no message was sent."}));
}

TEST_F(SupportMailTest, SuccessShowsNothing) {
    SupportMail mail(view, HeldSender(0));
    mail.Send();
    release.set_value();
    ASSERT_TRUE(RunLoopUntil([&] { return mail.Underway() == 0; }));
    EXPECT_TRUE(view.messages.empty());
}

// The window has gone when the mail program ends: its outcome is dropped.
TEST_F(SupportMailTest, OutcomeAfterTheWindowHasGoneIsDropped) {
    {
        SupportMail mail(view, HeldSender(2));
        mail.Send();
        addresses.get_future().wait();
    }
    release.set_value();
    ASSERT_TRUE(TRunningThreads::WaitForNone(Patience));
    Loop->ProcessMessages();
    EXPECT_TRUE(view.messages.empty());
}

TEST(SupportMailWithoutLoopTest, SendNeedsTheMainThreadHandOver) {
    const TMainThreadDispatcherScope none(nullptr);
    FakeLauncherView view;
    SupportMail mail(view, [](const std::string&) { return 0; });
    EXPECT_THAT([&] { mail.Send(); },
                ::testing::ThrowsMessage<Exception>("No main-thread dispatcher installed"));
    EXPECT_EQ(mail.Underway(), 0);
}

} // namespace
} // namespace corvane
