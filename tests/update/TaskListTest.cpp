// The task list: jobs in parallel, one completion action on the main thread.
#include "update/TaskList.h"
#include "platform/Errors.h"
#include "tests/update/FakeTask.h"
#include "update/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <thread>

using namespace corvane;
using namespace corvane::testing;
using namespace std::chrono_literals;

namespace {

class TasksListTest : public TMainThreadTest {
protected:
    // The completion action of most tests: counts its calls, notes the thread and how many
    // jobs had ended by then.
    TProc Completion() {
        return [this] {
            ++Completions;
            CompletedOnMainThread = Loop->IsMainThread();
            JobsEndedAtCompletion = JobsEnded.load();
        };
    }
    // Runs the event loop until the completion action has run, then until every thread has
    // ended, and handles what is left: a second call would show there.
    void RunUntilCompleted() {
        ASSERT_TRUE(RunLoopUntil([this] { return Completions > 0; }));
        ASSERT_TRUE(TRunningThreads::WaitForNone(Patience));
        Loop->ProcessMessages();
        EXPECT_EQ(Completions, 1);
        EXPECT_TRUE(CompletedOnMainThread);
    }

    int Completions = 0;
    bool CompletedOnMainThread = false;
    int JobsEndedAtCompletion = -1;
    std::atomic<int> JobsEnded = 0;
};

class CompletionAfterJobs : public TasksListTest, public ::testing::WithParamInterface<int> {};

TEST_P(CompletionAfterJobs, RunsOnceOnTheMainThreadAfterTheCallerReturnedToItsLoop) {
    const int LJobs = GetParam();
    auto LTasks = TTasksList::New();
    std::weak_ptr<ITasks> LWatch = LTasks;
    for (int I = 0; I < LJobs; ++I) {
        EXPECT_EQ(LTasks->Run([this] { ++JobsEnded; }), LTasks);
    }
    EXPECT_EQ(LTasks->AWait(Completion()), LTasks);
    // However fast the jobs are, the action waits for the main thread's loop.
    EXPECT_EQ(Completions, 0);
    LTasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(JobsEndedAtCompletion, LJobs);
    EXPECT_TRUE(LWatch.expired());
    EXPECT_TRUE(Reported.empty());
}

INSTANTIATE_TEST_SUITE_P(Jobs, CompletionAfterJobs, ::testing::Values(0, 1, 3, 60));

TEST_F(TasksListTest, RunReturnsAtOnceAndAWaitToo) {
    std::latch LRelease(1);
    auto LTasks = TTasksList::New();
    // The caller runs on a thread of its own so that a caller that blocks fails the test
    // instead of hanging it.
    auto LCaller = std::async(std::launch::async, [&] {
        for (int I = 0; I < 4; ++I) {
            LTasks->Run([&] {
                LRelease.wait();
                ++JobsEnded;
            });
        }
        LTasks->AWait(Completion());
    });
    const bool LReturned = LCaller.wait_for(Patience) == std::future_status::ready;
    LRelease.count_down();
    LCaller.get();
    EXPECT_TRUE(LReturned);
    LTasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(JobsEndedAtCompletion, 4);
}

TEST_F(TasksListTest, AFailingJobEndsAloneAndTheOthersStillCount) {
    std::latch LFailed(1);
    std::latch LRelease(1);
    auto LTasks = TTasksList::New();
    const TProc LBlocked = [&] {
        LRelease.wait();
        ++JobsEnded;
    };
    // The failing job is queued second, so it runs beside the first whatever the pool's size.
    LTasks->Run(LBlocked);
    LTasks->Run([&] {
        LFailed.count_down();
        throw EOSError("Acesso negado", 5);
    });
    for (int I = 0; I < 4; ++I) {
        LTasks->Run(LBlocked);
    }
    LTasks->AWait(Completion());
    LFailed.wait();
    LRelease.count_down();
    LTasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(JobsEndedAtCompletion, 5);
    // Job errors reach nobody.
    EXPECT_TRUE(Reported.empty());
}

// Tasks that had already finished, in every way a task can, when they were registered.
class FinishedBeforeRegistered : public TasksListTest,
                                 public ::testing::WithParamInterface<TTaskStatus> {};

TEST_P(FinishedBeforeRegistered, AreDroppedAndTheActionRunsOnce) {
    TThreadPool LOtherPool;
    const auto LTask = TTask::Create(
        [] {
            if (GetParam() == TTaskStatus::Failed) {
                throw Exception("failed");
            }
        },
        LOtherPool);
    if (GetParam() == TTaskStatus::Cancelled) {
        LTask->Cancel();
    } else {
        LTask->Start();
        ASSERT_EQ(TTask::WaitForAny({LTask}, Patience), 0);
    }
    ASSERT_EQ(LTask->Status(), GetParam());
    TTasksList::New()->Add(LTask)->AWait(Completion());
    ASSERT_TRUE(RunLoopUntil([this] { return Completions > 0; }));
    EXPECT_EQ(Completions, 1);
    EXPECT_TRUE(Reported.empty());
}

INSTANTIATE_TEST_SUITE_P(Statuses, FinishedBeforeRegistered,
                         ::testing::Values(TTaskStatus::Completed, TTaskStatus::Failed,
                                           TTaskStatus::Cancelled));

TEST_F(TasksListTest, TheSameTaskAddedTwiceIsRegisteredOnce) {
    // One entry means one status read before the finished task is dropped.
    const auto LTask = std::make_shared<TFakeTask>(TTaskStatus::Completed);
    TTasksList::New()->Add(LTask)->Add(LTask)->Add(nullptr)->AWait(Completion());
    RunUntilCompleted();
    EXPECT_EQ(LTask->Reads(), 1);
}

TEST_F(TasksListTest, ATaskRegisteredDuringTheWaitIsWaitedFor) {
    const auto LFirst = std::make_shared<TFakeTask>(TTaskStatus::Running);
    const auto LLater = std::make_shared<TFakeTask>(TTaskStatus::Created);
    auto LTasks = TTasksList::New()->Add(LFirst)->AWait(Completion());
    ASSERT_TRUE(LFirst->WaitForReads(1)); // the waiting thread is scanning
    LTasks->Add(LLater);
    LFirst->Finish(TTaskStatus::Completed);
    // A second read of the later task means the wait went on past a scan that saw it
    // pending, since a task left in the Created status counts as pending.
    ASSERT_TRUE(LLater->WaitForReads(2));
    Loop->ProcessMessages();
    EXPECT_EQ(Completions, 0);
    LLater->Finish(TTaskStatus::Cancelled);
    LTasks.reset();
    RunUntilCompleted();
}

TEST_F(TasksListTest, AnErrorOfTheWaitItselfDoesNotEndTheWait) {
    // The first two reads of the task's status fail.
    const auto LTask = std::make_shared<TFakeTask>(TTaskStatus::Running, 2);
    TTasksList::New()->Add(LTask)->AWait(Completion());
    ASSERT_TRUE(LTask->WaitForReads(4)); // read after the failures: still running
    Loop->ProcessMessages();
    EXPECT_EQ(Completions, 0);
    LTask->Finish(TTaskStatus::Completed);
    RunUntilCompleted();
    EXPECT_TRUE(Reported.empty());
}

TEST_F(TasksListTest, AnErrorOfTheActionGoesToTheErrorReportOnTheMainThread) {
    bool LReportedOnMain = false;
    SetErrorReport([&](const std::string& AMessage) {
        LReportedOnMain = Loop->IsMainThread();
        Reported.push_back(AMessage);
    });
    TTasksList::New()->Run([this] { ++JobsEnded; })->AWait([this] {
        ++Completions;
        CompletedOnMainThread = Loop->IsMainThread();
        throw Exception("O módulo não está instalado");
    });
    RunUntilCompleted();
    EXPECT_EQ(Reported, std::vector<std::string>{"O módulo não está instalado"});
    EXPECT_TRUE(LReportedOnMain);
}

TEST_F(TasksListTest, RunWithASenderCallsTheEventWithIt) {
    TObject LSender;
    std::atomic<TObject*> LReceived = nullptr;
    TTasksList::New()
        ->Run(&LSender, [&](TObject* Sender) { LReceived = Sender; })
        ->AWait(Completion());
    RunUntilCompleted();
    EXPECT_EQ(LReceived, &LSender);
}

TEST_F(TasksListTest, AWaitWithoutAMainThreadRaises) {
    TMainThreadDispatcherScope LNone(nullptr);
    EXPECT_THROW(TTasksList::New()->AWait(Completion()), Exception);
}

// Who holds the list while it waits; in every case it is destroyed by the time its action
// has run, with its pool shut down and every thread ended.
enum class THolder { CallerReleasesInsideAction, NobodyAfterAWait, ActionCapturesTheList };

class ListLifetime : public TasksListTest, public ::testing::WithParamInterface<THolder> {};

TEST_P(ListLifetime, TheListIsDestroyedWithItsThreadsOnceTheActionHasRun) {
    auto LTasks = TTasksList::New();
    std::weak_ptr<ITasks> LWatch = LTasks;
    auto LCaptured = std::make_shared<int>(0);
    std::weak_ptr<int> LCapturedWatch = LCaptured;
    bool LDestroyedInside = false;
    size_t LThreadsInside = 0;
    for (int I = 0; I < 8; ++I) {
        LTasks->Run([this] { ++JobsEnded; });
    }
    TProc LAction = [&, LHold = std::move(LCaptured)] {
        ++Completions;
        CompletedOnMainThread = Loop->IsMainThread();
        if (GetParam() == THolder::CallerReleasesInsideAction) {
            LTasks.reset();
            LDestroyedInside = LWatch.expired();
            // Only the waiting thread is left, blocked until this action returns.
            LThreadsInside = TRunningThreads::Count();
        }
    };
    if (GetParam() == THolder::ActionCapturesTheList) {
        LAction = [LAction, LSelf = LTasks] { LAction(); };
    }
    LTasks->AWait(std::move(LAction));
    if (GetParam() != THolder::CallerReleasesInsideAction) {
        LTasks.reset();
    }
    RunUntilCompleted();
    EXPECT_TRUE(LWatch.expired());
    EXPECT_TRUE(LCapturedWatch.expired()) << "the action's captured values were kept";
    if (GetParam() == THolder::CallerReleasesInsideAction) {
        EXPECT_TRUE(LDestroyedInside);
        EXPECT_EQ(LThreadsInside, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Holders, ListLifetime,
                         ::testing::Values(THolder::CallerReleasesInsideAction,
                                           THolder::NobodyAfterAWait,
                                           THolder::ActionCapturesTheList));

TEST_F(TasksListTest, AJobMayReleaseTheLastReferenceToTheList) {
    std::latch LRelease(1);
    std::weak_ptr<ITasks> LWatch;
    {
        auto LTasks = TTasksList::New();
        LWatch = LTasks;
        LTasks->Run([LTasks, &LRelease] { LRelease.wait(); });
    }
    EXPECT_FALSE(LWatch.expired());
    LRelease.count_down();
    ASSERT_TRUE(TRunningThreads::WaitForNone(Patience));
    EXPECT_TRUE(LWatch.expired());
}

TEST_F(TasksListTest, AClosedEventLoopReleasesTheWaitingThreadAndTheList) {
    std::weak_ptr<ITasks> LWatch;
    {
        auto LTasks = TTasksList::New();
        LWatch = LTasks;
        LTasks->Run([] {})->AWait(Completion());
    }
    // The application is ending: its loop runs no more calls.
    Loop->Close();
    ASSERT_TRUE(TRunningThreads::WaitForNone(Patience));
    EXPECT_EQ(Completions, 0);
    EXPECT_TRUE(LWatch.expired());
}

} // namespace
