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
    void SetUp() override { ASSERT_TRUE(RunningThreads::WaitForNone(kPatience)); }
    void TearDown() override {
        EXPECT_TRUE(RunningThreads::WaitForNone(kPatience)) << "a thread was left behind";
    }
};

TEST_F(ThreadPoolTest, RunsAsManyJobsAtOnceAsThereAreProcessors) {
    const auto processors = static_cast<std::ptrdiff_t>(ThreadPool::ProcessorCount());
    // Each job waits for all the others: they end only if all run at the same time. A long
    // monitor interval keeps growth beyond the processor count out of it.
    std::latch together(processors);
    std::latch done(processors);
    ThreadPool pool(ThreadPoolOptions{.monitorInterval = 1h});
    for (std::ptrdiff_t i = 0; i < processors; ++i) {
        pool.Queue([&] {
            together.arrive_and_wait();
            done.count_down();
        });
    }
    done.wait();
    EXPECT_EQ(pool.WorkerCount(), static_cast<size_t>(processors));
}

TEST_F(ThreadPoolTest, AddsWorkersWhileJobsWaitBehindBlockedOnes) {
    // One worker to begin with; five jobs that can only end together.
    constexpr int jobs = 5;
    std::latch together(jobs);
    std::latch done(jobs);
    ThreadPool pool(ThreadPoolOptions{.minWorkers = 1, .maxWorkers = jobs, .monitorInterval = 1ms});
    for (int i = 0; i < jobs; ++i) {
        pool.Queue([&] {
            together.arrive_and_wait();
            done.count_down();
        });
    }
    done.wait();
    EXPECT_EQ(pool.WorkerCount(), static_cast<size_t>(jobs));
}

TEST_F(ThreadPoolTest, IdleWorkersRetireAndNewOnesComeWhenNeeded) {
    ThreadPool pool(ThreadPoolOptions{.idleTimeout = 1ms});
    for (int round = 0; round < 2; ++round) {
        std::latch ran(1);
        pool.Queue([&] { ran.count_down(); });
        ran.wait();
        // The pool lives on, yet none of its threads does.
        ASSERT_TRUE(RunningThreads::WaitForNone(kPatience));
        EXPECT_EQ(pool.WorkerCount(), 0u);
    }
}

TEST_F(ThreadPoolTest, ShutDownRunsTheQueuedJobsAndEndsEveryThread) {
    std::atomic<int> ran = 0;
    {
        ThreadPool pool;
        for (int i = 0; i < 200; ++i) {
            pool.Queue([&] { ++ran; });
        }
    }
    EXPECT_EQ(ran, 200);
    EXPECT_EQ(RunningThreads::Count(), 0u);
}

TEST_F(ThreadPoolTest, AJobMayReleaseTheLastReferenceToItsPool) {
    // Shut-down then runs on one of the pool's own workers, which cannot wait for itself.
    std::atomic<int> ran = 0;
    std::latch queued(1);
    auto pool = std::make_shared<ThreadPool>(ThreadPoolOptions{.minWorkers = 2});
    std::weak_ptr<ThreadPool> watch = pool;
    for (int i = 0; i < 20; ++i) {
        pool->Queue([&, hold = pool] {
            queued.wait();
            ++ran;
        });
    }
    pool.reset();
    queued.count_down();
    ASSERT_TRUE(RunningThreads::WaitForNone(kPatience));
    EXPECT_EQ(ran, 20);
    EXPECT_TRUE(watch.expired());
}

TEST_F(ThreadPoolTest, AnErrorEscapingAJobLeavesTheWorkerRunning) {
    ThreadPool pool(ThreadPoolOptions{.minWorkers = 1});
    std::latch ran(1);
    pool.Queue([] { throw Exception("lost"); });
    pool.Queue([&] { ran.count_down(); });
    ran.wait();
    EXPECT_EQ(pool.WorkerCount(), 1u);
}

} // namespace
