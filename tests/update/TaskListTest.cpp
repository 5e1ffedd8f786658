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

class TasksListTest : public MainThreadFixture {
protected:
    // The completion action of most tests: counts its calls, notes the thread and how many
    // jobs had ended by then.
    Proc Completion() {
        return [this] {
            ++completions_;
            completedOnMainThread_ = loop_->IsMainThread();
            jobsEndedAtCompletion_ = jobsEnded_.load();
        };
    }
    // Runs the event loop until the completion action has run, then until every thread has
    // ended, and handles what is left: a second call would show there.
    void RunUntilCompleted() {
        ASSERT_TRUE(RunLoopUntil([this] { return completions_ > 0; }));
        ASSERT_TRUE(RunningThreads::WaitForNone(kPatience));
        loop_->HandlePendingEvents();
        EXPECT_EQ(completions_, 1);
        EXPECT_TRUE(completedOnMainThread_);
    }

    int completions_ = 0;
    bool completedOnMainThread_ = false;
    int jobsEndedAtCompletion_ = -1;
    std::atomic<int> jobsEnded_ = 0;
};

class CompletionAfterJobs : public TasksListTest, public ::testing::WithParamInterface<int> {};

TEST_P(CompletionAfterJobs, RunsOnceOnTheMainThreadAfterTheCallerReturnedToItsLoop) {
    const int jobs = GetParam();
    auto tasks = TaskList::New();
    std::weak_ptr<ParallelTasks> watch = tasks;
    for (int i = 0; i < jobs; ++i) {
        EXPECT_EQ(tasks->Run([this] { ++jobsEnded_; }), tasks);
    }
    EXPECT_EQ(tasks->WhenDone(Completion()), tasks);
    // However fast the jobs are, the action waits for the main thread's loop.
    EXPECT_EQ(completions_, 0);
    tasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(jobsEndedAtCompletion_, jobs);
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(reported_.empty());
}

INSTANTIATE_TEST_SUITE_P(Jobs, CompletionAfterJobs, ::testing::Values(0, 1, 3, 60));

TEST_F(TasksListTest, RunReturnsAtOnceAndAWaitToo) {
    std::latch release(1);
    auto tasks = TaskList::New();
    // The caller runs on a thread of its own so that a caller that blocks fails the test
    // instead of hanging it.
    auto caller = std::async(std::launch::async, [&] {
        for (int i = 0; i < 4; ++i) {
            tasks->Run([&] {
                release.wait();
                ++jobsEnded_;
            });
        }
        tasks->WhenDone(Completion());
    });
    const bool returned = caller.wait_for(kPatience) == std::future_status::ready;
    release.count_down();
    caller.get();
    EXPECT_TRUE(returned);
    tasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(jobsEndedAtCompletion_, 4);
}

TEST_F(TasksListTest, AFailingJobEndsAloneAndTheOthersStillCount) {
    std::latch failed(1);
    std::latch release(1);
    auto tasks = TaskList::New();
    const Proc blocked = [&] {
        release.wait();
        ++jobsEnded_;
    };
    // The failing job is queued second, so it runs beside the first whatever the pool's size.
    tasks->Run(blocked);
    tasks->Run([&] {
        failed.count_down();
        throw SystemError("Acesso negado", 5);
    });
    for (int i = 0; i < 4; ++i) {
        tasks->Run(blocked);
    }
    tasks->WhenDone(Completion());
    failed.wait();
    release.count_down();
    tasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(jobsEndedAtCompletion_, 5);
    // Job errors reach nobody.
    EXPECT_TRUE(reported_.empty());
}

// A job queued after WhenDone, while another still runs, is waited for as well.
TEST_F(TasksListTest, AJobQueuedWhileTheListWaitsIsWaitedFor) {
    std::latch releaseFirst(1);
    std::latch releaseLater(1);
    std::latch firstLetGo(1);
    // Counts down when the first job's captured values are released, as it ends.
    std::shared_ptr<void> firstHold(nullptr, [&](void*) { firstLetGo.count_down(); });
    auto tasks = TaskList::New();
    tasks->Run([&, hold = std::move(firstHold)] {
        releaseFirst.wait();
        ++jobsEnded_;
    });
    tasks->WhenDone(Completion());
    tasks->Run([&] {
        releaseLater.wait();
        ++jobsEnded_;
    });
    tasks.reset();
    releaseFirst.count_down();
    // The first job has let go of what it captured: it is ending, the later one still waits.
    firstLetGo.wait();
    loop_->HandlePendingEvents();
    EXPECT_EQ(completions_, 0);
    releaseLater.count_down();
    RunUntilCompleted();
    EXPECT_EQ(jobsEndedAtCompletion_, 2);
}

// Once the action has been handed over, a job queued later runs but is not waited for: the
// action does not run a second time.
TEST_F(TasksListTest, AJobQueuedAfterTheActionWasHandedOverIsNotWaitedFor) {
    std::latch laterEnded(1);
    auto tasks = TaskList::New();
    tasks->WhenDone(Completion());
    ASSERT_TRUE(RunLoopUntil([this] { return completions_ > 0; }));
    tasks->Run([&] { laterEnded.count_down(); });
    laterEnded.wait();
    tasks.reset();
    RunUntilCompleted();
    EXPECT_EQ(jobsEndedAtCompletion_, 0);
}

TEST_F(TasksListTest, AnErrorOfTheActionGoesToTheErrorReportOnTheMainThread) {
    bool reportedOnMain = false;
    SetErrorReport([&](const std::string& message) {
        reportedOnMain = loop_->IsMainThread();
        reported_.push_back(message);
    });
    TaskList::New()->Run([this] { ++jobsEnded_; })->WhenDone([this] {
        ++completions_;
        completedOnMainThread_ = loop_->IsMainThread();
        throw Exception("O módulo não está instalado");
    });
    RunUntilCompleted();
    EXPECT_EQ(reported_, std::vector<std::string>{"O módulo não está instalado"});
    EXPECT_TRUE(reportedOnMain);
}

TEST_F(TasksListTest, AWaitWithoutAMainThreadRaises) {
    MainThreadDispatcherScope none(nullptr);
    EXPECT_THAT([&] { TaskList::New()->WhenDone(Completion()); },
                ThrowsMessage<Exception>(StrEq("No main thread dispatcher is installed")));
}

// Who holds the list while it waits; in every case it is destroyed by the time its action
// has run, with its pool shut down and every thread ended.
enum class Holder { CallerReleasesInsideAction, NobodyAfterAWait, ActionCapturesTheList };

class ListLifetime : public TasksListTest, public ::testing::WithParamInterface<Holder> {};

TEST_P(ListLifetime, TheListIsDestroyedWithItsThreadsOnceTheActionHasRun) {
    auto tasks = TaskList::New();
    std::weak_ptr<ParallelTasks> watch = tasks;
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> capturedWatch = captured;
    bool destroyedInside = false;
    size_t threadsInside = 0;
    for (int i = 0; i < 8; ++i) {
        tasks->Run([this] { ++jobsEnded_; });
    }
    Proc action = [&, hold = std::move(captured)] {
        ++completions_;
        completedOnMainThread_ = loop_->IsMainThread();
        if (GetParam() == Holder::CallerReleasesInsideAction) {
            tasks.reset();
            destroyedInside = watch.expired();
            // No thread waits for the jobs, and the pool's workers have ended with it.
            threadsInside = RunningThreads::Count();
        }
    };
    if (GetParam() == Holder::ActionCapturesTheList) {
        action = [action, self = tasks] { action(); };
    }
    tasks->WhenDone(std::move(action));
    if (GetParam() != Holder::CallerReleasesInsideAction) {
        tasks.reset();
    }
    RunUntilCompleted();
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(capturedWatch.expired()) << "the action's captured values were kept";
    if (GetParam() == Holder::CallerReleasesInsideAction) {
        EXPECT_TRUE(destroyedInside);
        EXPECT_EQ(threadsInside, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Holders, ListLifetime,
                         ::testing::Values(Holder::CallerReleasesInsideAction,
                                           Holder::NobodyAfterAWait,
                                           Holder::ActionCapturesTheList));

TEST_F(TasksListTest, AJobMayReleaseTheLastReferenceToTheList) {
    std::latch release(1);
    std::weak_ptr<ParallelTasks> watch;
    {
        auto tasks = TaskList::New();
        watch = tasks;
        tasks->Run([tasks, &release] { release.wait(); });
    }
    EXPECT_FALSE(watch.expired());
    release.count_down();
    ASSERT_TRUE(RunningThreads::WaitForNone(kPatience));
    EXPECT_TRUE(watch.expired());
}

TEST_F(TasksListTest, AClosedEventLoopReleasesTheList) {
    std::weak_ptr<ParallelTasks> watch;
    {
        auto tasks = TaskList::New();
        watch = tasks;
        tasks->Run([] {})->WhenDone(Completion());
    }
    // The application is ending: its loop runs no more calls.
    loop_->Close();
    ASSERT_TRUE(RunningThreads::WaitForNone(kPatience));
    EXPECT_EQ(completions_, 0);
    EXPECT_TRUE(watch.expired());
}

} // namespace
