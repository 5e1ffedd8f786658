// Task handles: statuses, stored errors, cancelling and waiting for any of several tasks.
#include "update/Task.h"
#include "platform/Errors.h"
#include "tests/support/MainThreadFixture.h"
#include "update/ThreadPool.h"

#include <gtest/gtest.h>

#include <latch>

using namespace corvane;
using namespace corvane::testing;
using namespace std::chrono_literals;

namespace {

class TaskTest : public ::testing::Test {
protected:
    // Waits until ATask has finished; fails the test after Patience.
    static void WaitFinished(const std::shared_ptr<ITask>& ATask) {
        ASSERT_EQ(TTask::WaitForAny({ATask}, Patience), 0);
    }

    TThreadPool Pool;
};

TEST_F(TaskTest, GoesFromCreatedThroughRunningToCompleted) {
    std::latch LRunning(1);
    std::latch LRelease(1);
    const auto LTask = TTask::Create(
        [&] {
            LRunning.count_down();
            LRelease.wait();
        },
        Pool);
    EXPECT_EQ(LTask->Status(), TTaskStatus::Created);
    EXPECT_EQ(LTask->Start(), LTask);
    LRunning.wait();
    EXPECT_EQ(LTask->Status(), TTaskStatus::Running);
    EXPECT_FALSE(LTask->Cancel());
    // Nothing finished yet: the wait runs out.
    EXPECT_EQ(TTask::WaitForAny({LTask}, 1ms), -1);
    LRelease.count_down();
    WaitFinished(LTask);
    EXPECT_EQ(LTask->Status(), TTaskStatus::Completed);
    EXPECT_EQ(LTask->Error(), nullptr);
    EXPECT_THROW(LTask->Start(), Exception);
}

TEST_F(TaskTest, AnErrorOfTheJobIsStoredAndTheTaskFails) {
    const auto LTask = TTask::Create([] { throw EOSError("Acesso negado", 5); }, Pool)->Start();
    WaitFinished(LTask);
    EXPECT_EQ(LTask->Status(), TTaskStatus::Failed);
    EXPECT_THROW(std::rethrow_exception(LTask->Error()), EOSError);
}

TEST_F(TaskTest, ACancelledTaskNeverRunsItsJob) {
    bool LRan = false;
    const auto LTask = TTask::Create([&] { LRan = true; }, Pool);
    EXPECT_TRUE(LTask->Cancel());
    EXPECT_EQ(LTask->Status(), TTaskStatus::Cancelled);
    EXPECT_EQ(TTask::WaitForAny({LTask}, 0ms), 0);
    EXPECT_THROW(LTask->Start(), Exception);
    EXPECT_FALSE(LRan);
}

TEST_F(TaskTest, WaitForAnyReturnsTheTaskThatFinished) {
    std::latch LRelease(1);
    const auto LBlocked = TTask::Create([&] { LRelease.wait(); }, Pool)->Start();
    const auto LQuick = TTask::Create([] {}, Pool);
    const auto LCreated = TTask::Create([] {}, Pool);
    LQuick->Start();
    EXPECT_EQ(TTask::WaitForAny({LCreated, LBlocked, LQuick}, Patience), 2);
    LRelease.count_down();
    WaitFinished(LBlocked);
    EXPECT_EQ(TTask::WaitForAny({}, 0ms), -1);
}

TEST_F(TaskTest, TheJobsCapturedValuesAreGoneWhenTheTaskHasFinished) {
    auto LCaptured = std::make_shared<int>(1);
    std::weak_ptr<int> LWatch = LCaptured;
    const auto LTask = TTask::Create([LHold = std::move(LCaptured)] {}, Pool)->Start();
    WaitFinished(LTask);
    EXPECT_TRUE(LWatch.expired());
}

TEST_F(TaskTest, StartingOnAPoolThatHasShutDownRaisesAndLeavesTheTaskCreated) {
    std::shared_ptr<ITask> LTask;
    {
        TThreadPool LGone;
        LTask = TTask::Create([] {}, LGone);
    }
    EXPECT_THROW(LTask->Start(), Exception);
    EXPECT_EQ(LTask->Status(), TTaskStatus::Created);
}

} // namespace
