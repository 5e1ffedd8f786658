// The pool behind each task list: growth, retirement and shut-down.
#include "update/ThreadPool.h"
#include "platform/Errors.h"
#include "tests/support/MainThreadFixture.h"
#include "update/RunningThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>

using namespace corvane;
using namespace corvane::testing;
using namespace std::chrono_literals;

namespace {

class ThreadPoolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(TRunningThreads::WaitForNone(Patience)); }
    void TearDown() override {
        EXPECT_TRUE(TRunningThreads::WaitForNone(Patience)) << "a thread was left behind";
    }
};

TEST_F(ThreadPoolTest, RunsAsManyJobsAtOnceAsThereAreProcessors) {
    const auto LProcessors = static_cast<std::ptrdiff_t>(TThreadPool::ProcessorCount());
    // Each job waits for all the others: they end only if all run at the same time. A long
    // monitor interval keeps growth beyond the processor count out of it.
    std::latch LTogether(LProcessors);
    std::latch LDone(LProcessors);
    TThreadPool LPool(TThreadPoolOptions{.MonitorInterval = 1h});
    for (std::ptrdiff_t I = 0; I < LProcessors; ++I) {
        LPool.Queue([&] {
            LTogether.arrive_and_wait();
            LDone.count_down();
        });
    }
    LDone.wait();
    EXPECT_EQ(LPool.WorkerCount(), static_cast<size_t>(LProcessors));
}

TEST_F(ThreadPoolTest, AddsWorkersWhileJobsWaitBehindBlockedOnes) {
    // One worker to begin with; five jobs that can only end together.
    constexpr int Jobs = 5;
    std::latch LTogether(Jobs);
    std::latch LDone(Jobs);
    TThreadPool LPool(
        TThreadPoolOptions{.MinWorkers = 1, .MaxWorkers = Jobs, .MonitorInterval = 1ms});
    for (int I = 0; I < Jobs; ++I) {
        LPool.Queue([&] {
            LTogether.arrive_and_wait();
            LDone.count_down();
        });
    }
    LDone.wait();
    EXPECT_EQ(LPool.WorkerCount(), static_cast<size_t>(Jobs));
}

TEST_F(ThreadPoolTest, IdleWorkersRetireAndNewOnesComeWhenNeeded) {
    TThreadPool LPool(TThreadPoolOptions{.IdleTimeout = 1ms});
    for (int LRound = 0; LRound < 2; ++LRound) {
        std::latch LRan(1);
        LPool.Queue([&] { LRan.count_down(); });
        LRan.wait();
        // The pool lives on, yet none of its threads does.
        ASSERT_TRUE(TRunningThreads::WaitForNone(Patience));
        EXPECT_EQ(LPool.WorkerCount(), 0u);
    }
}

TEST_F(ThreadPoolTest, ShutDownRunsTheQueuedJobsAndEndsEveryThread) {
    std::atomic<int> LRan = 0;
    {
        TThreadPool LPool;
        for (int I = 0; I < 200; ++I) {
            LPool.Queue([&] { ++LRan; });
        }
    }
    EXPECT_EQ(LRan, 200);
    EXPECT_EQ(TRunningThreads::Count(), 0u);
}

TEST_F(ThreadPoolTest, AJobMayReleaseTheLastReferenceToItsPool) {
    // Shut-down then runs on one of the pool's own workers, which cannot wait for itself.
    std::atomic<int> LRan = 0;
    std::latch LQueued(1);
    auto LPool = std::make_shared<TThreadPool>(TThreadPoolOptions{.MinWorkers = 2});
    std::weak_ptr<TThreadPool> LWatch = LPool;
    for (int I = 0; I < 20; ++I) {
        LPool->Queue([&, LHold = LPool] {
            LQueued.wait();
            ++LRan;
        });
    }
    LPool.reset();
    LQueued.count_down();
    ASSERT_TRUE(TRunningThreads::WaitForNone(Patience));
    EXPECT_EQ(LRan, 20);
    EXPECT_TRUE(LWatch.expired());
}

TEST_F(ThreadPoolTest, AnErrorEscapingAJobLeavesTheWorkerRunning) {
    TThreadPool LPool(TThreadPoolOptions{.MinWorkers = 1});
    std::latch LRan(1);
    LPool.Queue([] { throw Exception("lost"); });
    LPool.Queue([&] { LRan.count_down(); });
    LRan.wait();
    EXPECT_EQ(LPool.WorkerCount(), 1u);
}

} // namespace
