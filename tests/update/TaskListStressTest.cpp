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

constexpr int Lists = 1000;
constexpr int JobsPerList = 50;
// Lists under way at the same time; each completion starts the next one.
constexpr int InFlight = 16;
// The sanitizers slow everything down many times over.
constexpr std::chrono::seconds StressPatience{240};

struct TRunRecord {
    std::atomic<int> JobsEnded = 0;
    int Completions = 0;
    bool CompletedOnMainThread = false;
    int JobsEndedAtCompletion = -1;
    std::shared_ptr<ITasks> Held;
    std::weak_ptr<ITasks> Watch;
};

// A job of random length: it gives up its processor a random number of times.
void RandomDelay(unsigned ASeed) {
    std::minstd_rand LRandom(ASeed + 1);
    for (unsigned I = LRandom() % 16; I > 0; --I) {
        std::this_thread::yield();
    }
}

class TasksListStressTest : public TMainThreadTest {};

TEST_F(TasksListStressTest, EveryCompletionRunsOnceAndNothingIsLeftBehind) {
    std::vector<TRunRecord> LRuns(Lists);
    int LStarted = 0;
    int LFinished = 0;
    std::function<void()> LStartNext = [&] {
        const int LIndex = LStarted++;
        TRunRecord& LRun = LRuns[LIndex];
        auto LTasks = TTasksList::New();
        LRun.Watch = LTasks;
        for (int J = 0; J < JobsPerList; ++J) {
            const unsigned LSeed = static_cast<unsigned>(LIndex * JobsPerList + J);
            LTasks->Run([&LRun, LSeed] {
                RandomDelay(LSeed);
                ++LRun.JobsEnded;
                if (LSeed % 17 == 0) {
                    throw Exception("job failed");
                }
            });
        }
        // Three ways to hold a list while it waits: the caller until the action, nobody, or
        // the action itself.
        const int LHolding = LIndex % 3;
        if (LHolding == 0) {
            LRun.Held = LTasks;
        }
        LTasks->AWait([&, LIndex, LSelf = LHolding == 2 ? LTasks : nullptr] {
            TRunRecord& LDone = LRuns[LIndex];
            ++LDone.Completions;
            LDone.CompletedOnMainThread = Loop->IsMainThread();
            LDone.JobsEndedAtCompletion = LDone.JobsEnded;
            LDone.Held.reset();
            ++LFinished;
            if (LStarted < Lists) {
                LStartNext();
            }
        });
    };
    for (int I = 0; I < InFlight; ++I) {
        LStartNext();
    }
    ASSERT_TRUE(Loop->RunUntil([&] { return LFinished == Lists; }, StressPatience));
    ASSERT_TRUE(TRunningThreads::WaitForNone(Patience));
    Loop->ProcessMessages();

    int LFaults = 0;
    for (int I = 0; I < Lists && LFaults < 10; ++I) {
        const TRunRecord& LRun = LRuns[I];
        const bool LSound = LRun.Completions == 1 && LRun.CompletedOnMainThread &&
                            LRun.JobsEndedAtCompletion == JobsPerList && LRun.Watch.expired();
        if (!LSound) {
            ++LFaults;
            ADD_FAILURE() << "list " << I << ": " << LRun.Completions << " completions, "
                          << LRun.JobsEndedAtCompletion << " jobs ended at completion, "
                          << (LRun.CompletedOnMainThread ? "" : "not ") << "on the main thread, "
                          << (LRun.Watch.expired() ? "destroyed" : "still alive");
        }
    }
    EXPECT_EQ(LFaults, 0);
    EXPECT_TRUE(Reported.empty());
}

} // namespace
