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
