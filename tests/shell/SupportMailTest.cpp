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
using testing::kPatience;
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
class SupportMailTest : public testing::MainThreadFixture {
protected:
    SupportMail::Sender HeldSender(int result) {
        return [this, result](const std::string& address) {
            addresses_.set_value(address);
            release_.get_future().wait();
            return result;
        };
    }

    FakeLauncherView view_;
    std::promise<std::string> addresses_;
    std::promise<void> release_;
};

// Send returns while the mail program runs; the outcome comes once it has ended.
TEST_F(SupportMailTest, WindowAnswersWhileTheMailProgramRuns) {
    SupportMail mail(view_, HeldSender(2));
    mail.Send();
    EXPECT_EQ(addresses_.get_future().get(), kSupportEmail);
    EXPECT_EQ(mail.Underway(), 1);
    loop_->HandlePendingEvents();
    EXPECT_TRUE(view_.messages.empty());

    release_.set_value();
    ASSERT_TRUE(RunLoopUntil([&] { return mail.Underway() == 0; }));
    EXPECT_THAT(
        view_.messages,
        ElementsAre(ShownMessage{MessageKind::Error,
                                 "One or more unspecified errors occurred; no message was sent."}));
}

TEST_F(SupportMailTest, SuccessShowsNothing) {
    SupportMail mail(view_, HeldSender(0));
    mail.Send();
    release_.set_value();
    ASSERT_TRUE(RunLoopUntil([&] { return mail.Underway() == 0; }));
    EXPECT_TRUE(view_.messages.empty());
}

// The window has gone when the mail program ends: its outcome is dropped.
TEST_F(SupportMailTest, OutcomeAfterTheWindowHasGoneIsDropped) {
    {
        SupportMail mail(view_, HeldSender(2));
        mail.Send();
        addresses_.get_future().wait();
    }
    release_.set_value();
    ASSERT_TRUE(RunningThreads::WaitForNone(kPatience));
    loop_->HandlePendingEvents();
    EXPECT_TRUE(view_.messages.empty());
}

TEST(SupportMailWithoutLoopTest, SendNeedsTheMainThreadHandOver) {
    const MainThreadDispatcherScope none(nullptr);
    FakeLauncherView view;
    SupportMail mail(view, [](const std::string&) { return 0; });
    EXPECT_THAT([&] { mail.Send(); },
                ::testing::ThrowsMessage<Exception>("No main-thread dispatcher installed"));
    EXPECT_EQ(mail.Underway(), 0);
}

} // namespace
} // namespace corvane
