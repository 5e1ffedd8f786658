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
    std::optional<TPathLock> first(std::in_place, "/tmp/x\\mod.exe");
    EXPECT_FALSE(first->Waited());
    std::atomic<bool> secondHolds{false};
    std::atomic<bool> secondWaited{false};
    std::thread second([&] {
        TPathLock lock("/tmp/x//mod.exe"); // the same file, written natively
        secondHolds = true;
        secondWaited = lock.Waited();
    });
    while (TPathLock::Waiting("/tmp/x/mod.exe") == 0)
        std::this_thread::yield();
    EXPECT_FALSE(secondHolds.load());
    first.reset();
    second.join();
    EXPECT_TRUE(secondHolds.load());
    EXPECT_TRUE(secondWaited.load());
    EXPECT_EQ(TPathLock::Waiting("/tmp/x/mod.exe"), 0);
}

TEST(PathLock, OtherPathsAndOtherCapitalsDoNotWait) {
    TPathLock one("/tmp/x/mod.exe");
    TPathLock other("/tmp/x/MOD.EXE"); // another file on a case-sensitive file system
    TPathLock third("/tmp/x/other.dll");
    EXPECT_FALSE(other.Waited());
    EXPECT_FALSE(third.Waited());
}

TEST(PathLock, OnlyOneHolderAtATime) {
    constexpr int Threads = 8;
    constexpr int Rounds = 2000;
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::latch start(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&] {
            start.arrive_and_wait();
            for (int round = 0; round < Rounds; ++round) {
                TPathLock lock("/srv/app/shared.dll");
                if (inside.fetch_add(1) != 0)
                    overlap = true;
                inside.fetch_sub(1);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(overlap.load());
    EXPECT_EQ(TPathLock::Waiting("/srv/app/shared.dll"), 0);
}

} // namespace
} // namespace corvane
