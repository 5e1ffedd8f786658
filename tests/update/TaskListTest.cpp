// The task list: jobs in parallel, one completion action on the main thread.
#include "update/TaskList.h"
#include "platform/Errors.h"
#include "tests/support/MainThreadFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>

using namespace corvane;
using namespace corvane::testing;
using ::testing::StrEq;
using ::testing::ThrowsMessage;
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

// A job queued after AWait, while another still runs, is waited for as well.
TEST_F(TasksListTest, AJobQueuedWhileTheListWaitsIsWaitedFor) {
    std::latch releaseFirst(1);
    std::latch releaseLater(1);
    std::latch firstLetGo(1);
    // Counts down when the first job's captured values are released, as it ends.
    std::shared_ptr<void> firstHold(nullptr, [&](void*) { firstLetGo.count_down(); });
    auto tasks = TTasksList::New();
    tasks->Run([&, hold = std::move(firstHold)] {
        releaseFirst.wait();
        ++JobsEnded;
    });
    tasks->AWait(Completion());
    tasks->Run([&] {
        releaseLater.wait();
        ++JobsEnded;
    });
    tasks.reset();
    releaseFirst.count_down();
    // The first job has let go of what it captured: it is ending, the later one still waits.
    firstLetGo.wait();
    Loop->ProcessMessages();
    EXPECT_EQ(Completions, 0);
    releaseLater.count_down();
    RunUntilCompleted();
    EXPECT_EQ(JobsEndedAtCompletion, 2);
}

// Once the action has been handed over, a job queued later runs but is not waited for: the
// action does not run a second time.
TEST_F(TasksListTest, AJobQueuedAfterTheActionWasHandedOverIsNotWaitedFor) {
    std::latch laterEnded(1);
    auto tasks = TTasksList::New();
    tasks->AWait(Completion());
    ASSERT_TRUE(RunLoopUntil([this] { return Completions > 0; }));
    tasks->Run([&] { laterEnded.count_down(); });
    laterEnded.wait();
    tasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(JobsEndedAtCompletion, 0);
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

TEST_F(TasksListTest, AWaitWithoutAMainThreadRaises) {
    TMainThreadDispatcherScope LNone(nullptr);
    EXPECT_THAT([&] { TTasksList::New()->AWait(Completion()); },
                ThrowsMessage<Exception>(StrEq("No main thread dispatcher is installed")));
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
            // No thread waits for the jobs, and the pool's workers have ended with it.
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
        EXPECT_EQ(LThreadsInside, 0u);
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

TEST_F(TasksListTest, AClosedEventLoopReleasesTheList) {
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
