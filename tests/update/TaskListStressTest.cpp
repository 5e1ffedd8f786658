// Many task lists at once, each with many short jobs of random length, some of them failing:
// every completion action runs exactly once, on the main thread, after all of its jobs, and
// every list is gone at the end with all of its threads. Built with the sanitizers, this is
// where races (ThreadSanitizer) and leaks (AddressSanitizer) show.
#include "platform/Errors.h"
#include "tests/support/MainThreadFixture.h"
#include "update/TaskList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

using namespace corvane;
using namespace corvane::testing;

namespace {

constexpr int kLists = 1000;
constexpr int kJobsPerList = 50;
// Lists under way at the same time; each completion starts the next one.
constexpr int kInFlight = 16;
// The sanitizers slow everything down many times over.
constexpr std::chrono::seconds kStressPatience{240};

struct RunRecord {
    std::atomic<int> jobsEnded = 0;
    int completions = 0;
    bool completedOnMainThread = false;
    int jobsEndedAtCompletion = -1;
    std::shared_ptr<ParallelTasks> held;
    std::weak_ptr<ParallelTasks> watch;
};

// A job of random length: it gives up its processor a random number of times.
void RandomDelay(unsigned seed) {
    std::minstd_rand random(seed + 1);
    for (unsigned i = random() % 16; i > 0; --i) {
        std::this_thread::yield();
    }
}

class TasksListStressTest : public MainThreadFixture {};

TEST_F(TasksListStressTest, EveryCompletionRunsOnceAndNothingIsLeftBehind) {
    std::vector<RunRecord> runs(kLists);
    int started = 0;
    int finished = 0;
    std::function<void()> startNext = [&] {
        const int index = started++;
        RunRecord& run = runs[index];
        auto tasks = TaskList::New();
        run.watch = tasks;
        for (int j = 0; j < kJobsPerList; ++j) {
            const unsigned seed = static_cast<unsigned>(index * kJobsPerList + j);
            tasks->Run([&run, seed] {
                RandomDelay(seed);
                ++run.jobsEnded;
                if (seed % 17 == 0) {
                    throw Exception("job failed");
                }
            });
        }
        // Three ways to hold a list while it waits: the caller until the action, nobody, or
        // the action itself.
        const int holding = index % 3;
        if (holding == 0) {
            run.held = tasks;
        }
        tasks->WhenDone([&, index, self = holding == 2 ? tasks : nullptr] {
            RunRecord& done = runs[index];
            ++done.completions;
            done.completedOnMainThread = loop_->IsMainThread();
            done.jobsEndedAtCompletion = done.jobsEnded;
            done.held.reset();
            ++finished;
            if (started < kLists) {
                startNext();
            }
        });
    };
    for (int i = 0; i < kInFlight; ++i) {
        startNext();
    }
    ASSERT_TRUE(loop_->RunUntil([&] { return finished == kLists; }, kStressPatience));
    ASSERT_TRUE(RunningThreads::WaitForNone(kPatience));
    loop_->HandlePendingEvents();

    int faults = 0;
    for (int i = 0; i < kLists && faults < 10; ++i) {
        const RunRecord& run = runs[i];
        const bool sound = run.completions == 1 && run.completedOnMainThread &&
                           run.jobsEndedAtCompletion == kJobsPerList && run.watch.expired();
        if (!sound) {
            ++faults;
            ADD_FAILURE() << "list " << i << ": " << run.completions << " completions, "
                          << run.jobsEndedAtCompletion << " jobs ended at completion, "
                          << (run.completedOnMainThread ? "" : "not ") << "on the main thread, "
                          << (run.watch.expired() ? "destroyed" : "still alive");
        }
    }
    EXPECT_EQ(faults, 0);
    EXPECT_TRUE(reported_.empty());
}

} // namespace
