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

class MainThreadTest : public MainThreadFixture {};

TEST_F(MainThreadTest, ACallPostedFromAnotherThreadRunsOnTheMainThread) {
    std::atomic<bool> ran = false;
    std::atomic<bool> ranOnMain = false;
    std::thread([&] {
        loop_->Post([&] {
            ranOnMain = loop_->IsMainThread();
            ran = true;
        });
    }).join();
    EXPECT_TRUE(loop_->RunUntil([&] { return ran.load(); }, kPatience));
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
    loop_->Post(call());
    loop_->Close();
    EXPECT_EQ(released, 1);
    loop_->Post(call());
    EXPECT_EQ(released, 2);
    loop_->HandlePendingEvents();
    EXPECT_EQ(runs, 0);
}

TEST_F(MainThreadTest, HandlePendingEventsRunsWaitingCallsOnlyOnTheMainThread) {
    int calls = 0;
    loop_->Post([&] { ++calls; });
    loop_->Post([&] { ++calls; });
    std::thread([&] { loop_->HandlePendingEvents(); }).join();
    EXPECT_EQ(calls, 0);
    loop_->HandlePendingEvents();
    EXPECT_EQ(calls, 2);
}

TEST_F(MainThreadTest, AnErrorEscapingAPostedCallGoesToTheErrorReport) {
    int later = 0;
    loop_->Post([] { throw SystemError("Acesso negado", 5); });
    loop_->Post([&] { ++later; });
    loop_->HandlePendingEvents();
    EXPECT_EQ(reported_, std::vector<std::string>{"Acesso negado"});
    EXPECT_EQ(later, 1);
}

} // namespace
