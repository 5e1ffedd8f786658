// Hand-over of calls to the main thread through our own event loop.
#include "platform/Errors.h"
#include "tests/support/MainThreadFixture.h"
#include "update/ErrorReport.h"
#include "update/MainThreadLoop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <string>
#include <thread>

using namespace corvane;
using namespace corvane::testing;
using ::testing::StrEq;
using ::testing::ThrowsMessage;
using namespace std::chrono_literals;

namespace {

class MainThreadTest : public TMainThreadTest {};

TEST_F(MainThreadTest, SynchronizeRunsTheCallOnTheMainThreadAndWaitsForIt) {
    std::atomic<bool> LRanOnMain = false;
    std::atomic<bool> LReturned = false;
    std::thread LWorker([&] {
        const bool LRan = Synchronize([&] { LRanOnMain = Loop->IsMainThread(); });
        // The call has returned before Synchronize does.
        LReturned = LRan && LRanOnMain;
    });
    EXPECT_TRUE(Loop->RunUntil([&] { return LRanOnMain.load(); }, Patience));
    LWorker.join();
    EXPECT_TRUE(LReturned);
}

TEST_F(MainThreadTest, AnErrorOfTheCallIsRaisedAgainInTheWaitingThread) {
    std::atomic<bool> called = false;
    std::thread worker([&] {
        EXPECT_THAT(
            [&] {
                Synchronize([&] {
                    called = true;
                    throw EListError("Duplicates not allowed");
                });
            },
            ThrowsMessage<EListError>(StrEq("Duplicates not allowed")));
    });
    EXPECT_TRUE(Loop->RunUntil([&] { return called.load(); }, Patience));
    worker.join();
}

TEST_F(MainThreadTest, OnTheMainThreadSynchronizeCallsAtOnce) {
    int LCalls = 0;
    EXPECT_TRUE(Synchronize([&] { ++LCalls; }));
    EXPECT_EQ(LCalls, 1);
}

// Forwards to the loop and tells the test when a call has been queued.
class TQueuedSignal final : public IMainThreadDispatcher {
public:
    explicit TQueuedSignal(TMainThreadLoop& ALoop) : FLoop(ALoop) {}
    void Post(TProc ACall) override {
        FLoop.Post(std::move(ACall));
        Queued.count_down();
    }
    bool IsMainThread() const override { return FLoop.IsMainThread(); }
    void ProcessMessages() override { FLoop.ProcessMessages(); }
    std::latch Queued{1};

private:
    TMainThreadLoop& FLoop;
};

TEST_F(MainThreadTest, ClosingTheLoopReleasesThreadsWaitingInSynchronize) {
    TQueuedSignal LDispatcher(*Loop);
    std::atomic<bool> LRan = false;
    std::promise<bool> LResult;
    std::thread LWorker([&] { LResult.set_value(Synchronize(LDispatcher, [&] { LRan = true; })); });
    LDispatcher.Queued.wait();
    Loop->Close();
    LWorker.join();
    EXPECT_FALSE(LResult.get_future().get());
    // A call handed over after the loop has closed is dropped at once.
    std::thread([&] { EXPECT_FALSE(Synchronize(*Loop, [&] { LRan = true; })); }).join();
    EXPECT_FALSE(LRan);
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
