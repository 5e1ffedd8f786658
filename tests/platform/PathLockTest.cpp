#include "platform/PathLock.h"

#include <atomic>
#include <gtest/gtest.h>
#include <latch>
#include <optional>
#include <thread>
#include <vector>

namespace corvane {
namespace {

TEST(PathLock, ASecondHolderWaitsAndKnowsItWaited) {
    std::optional<PathLock> first(std::in_place, "/tmp/x\\mod.exe");
    EXPECT_FALSE(first->Waited());
    std::atomic<bool> secondHolds{false};
    std::atomic<bool> secondWaited{false};
    std::thread second([&] {
        PathLock lock("/tmp/x//mod.exe"); // the same file, written natively
        secondHolds = true;
        secondWaited = lock.Waited();
    });
    while (PathLock::Waiting("/tmp/x/mod.exe") == 0)
        std::this_thread::yield();
    EXPECT_FALSE(secondHolds.load());
    first.reset();
    second.join();
    EXPECT_TRUE(secondHolds.load());
    EXPECT_TRUE(secondWaited.load());
    EXPECT_EQ(PathLock::Waiting("/tmp/x/mod.exe"), 0);
}

TEST(PathLock, OtherPathsAndOtherCapitalsDoNotWait) {
    PathLock one("/tmp/x/mod.exe");
    PathLock other("/tmp/x/MOD.EXE"); // another file on a case-sensitive file system
    PathLock third("/tmp/x/other.dll");
    EXPECT_FALSE(other.Waited());
    EXPECT_FALSE(third.Waited());
}

// Whether a lock on the second spelling waits for a holder of the first: it does exactly
// when the system sees one file (on this case-sensitive system, capitals make another file).
struct SpellingCase {
    const char* held;
    const char* asked;
    bool waits;
};

class LockSpellings : public ::testing::TestWithParam<SpellingCase> {};

TEST_P(LockSpellings, WaitExactlyForTheSameFile) {
    const SpellingCase& c = GetParam();
    std::optional<PathLock> held(std::in_place, c.held);
    std::atomic<bool> done{false};
    std::thread asker([&] {
        PathLock lock(c.asked);
        done = true;
    });
    // One of the two happens whatever the key: the asker queues behind the holder or gets
    // its own lock at once.
    bool waited = false;
    while (!done && !waited)
        waited = PathLock::Waiting(c.held) > 0;
    held.reset();
    asker.join();
    EXPECT_EQ(waited, c.waits);
}

INSTANTIATE_TEST_SUITE_P(
    PathLock, LockSpellings,
    ::testing::Values(SpellingCase{"/tmp/lock/mod.exe", "/tmp/lock/mod.exe", true},
                      SpellingCase{"/tmp/lock/mod.exe", "\\tmp\\lock\\\\mod.exe", true},
                      SpellingCase{"/tmp/lock/mod.exe", "\\\\?\\/tmp/lock/mod.exe", true},
                      SpellingCase{"/tmp/lock/mod.exe", "/tmp/lock/MOD.EXE", false},
                      SpellingCase{"/tmp/lock/Ação.exe", "/tmp/lock/AÇÃO.exe", false},
                      SpellingCase{"/tmp/lock/mod.exe", "/tmp/lock/mod.ex", false}));

TEST(PathLock, OnlyOneHolderAtATime) {
    constexpr int threadCount = 8;
    constexpr int rounds = 2000;
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::latch start(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([&] {
            start.arrive_and_wait();
            for (int round = 0; round < rounds; ++round) {
                PathLock lock("/srv/app/shared.dll");
                if (inside.fetch_add(1) != 0)
                    overlap = true;
                inside.fetch_sub(1);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(overlap.load());
    EXPECT_EQ(PathLock::Waiting("/srv/app/shared.dll"), 0);
}

} // namespace
} // namespace corvane
