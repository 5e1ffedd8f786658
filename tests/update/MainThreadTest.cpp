// Hand-over of calls to the main thread through our own event loop.
#include "platform/ErrorReport.h"
#include "tests/support/MainThreadFixture.h"
#include "update/Errors.h"
#include "update/MainThreadLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

using namespace corvane;
using namespace corvane::testing;

namespace {

class MainThreadTest : public TMainThreadTest {};

TEST_F(MainThreadTest, ACallPostedFromAnotherThreadRunsOnTheMainThread) {
    std::atomic<bool> ran = false;
    std::atomic<bool> ranOnMain = false;
    std::thread([&] {
        Loop->Post([&] {
            ranOnMain = Loop->IsMainThread();
            ran = true;
        });
    }).join();
    EXPECT_TRUE(Loop->RunUntil([&] { return ran.load(); }, Patience));
    EXPECT_TRUE(ranOnMain);
}

// Closing the loop destroys the calls still queued, and every call posted later, without
// running them: what they hold is released.
TEST_F(MainThreadTest, ClosingTheLoopReleasesQueuedAndLaterCallsWithoutRunningThem) {
    int runs = 0;
    int released = 0;
    const auto call = [&] {
        std::shared_ptr<void> hold(nullptr, [&](void*) { ++released; });
        return [&runs, hold] { ++runs; };
    };
    Loop->Post(call());
    Loop->Close();
    EXPECT_EQ(released, 1);
    Loop->Post(call());
    EXPECT_EQ(released, 2);
    Loop->ProcessMessages();
    EXPECT_EQ(runs, 0);
}

TEST_F(MainThreadTest, ProcessMessagesRunsWaitingCallsOnlyOnTheMainThread) {
    int LCalls = 0;
    Loop->Post([&] { ++LCalls; });
    Loop->Post([&] { ++LCalls; });
    std::thread([&] { ProcessMessages(); }).join();
    EXPECT_EQ(LCalls, 0);
    ProcessMessages();
    EXPECT_EQ(LCalls, 2);
}

TEST_F(MainThreadTest, AnErrorEscapingAPostedCallGoesToTheErrorReport) {
    int LLater = 0;
    Loop->Post([] { throw EOSError("Acesso negado", 5); });
    Loop->Post([&] { ++LLater; });
    Loop->ProcessMessages();
    EXPECT_EQ(Reported, std::vector<std::string>{"Acesso negado"});
    EXPECT_EQ(LLater, 1);
}

} // namespace
