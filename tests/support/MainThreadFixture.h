// A fixture for tests of code that hands work to the main thread: our own event loop
// installed as the main-thread dispatcher (the test's thread is the main thread), an error
// report that records what reaches it, and a check that no thread is left behind.
#pragma once

#include "platform/ErrorReport.h"
#include "update/MainThreadLoop.h"
#include "update/RunningThreads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace corvane::testing {

// Safety net of every wait for another thread: a fault fails the test instead of hanging it.
inline constexpr std::chrono::seconds Patience{60};

class TMainThreadTest : public ::testing::Test {
protected:
    TMainThreadTest() {
        FPreviousReport = SetErrorReport([this](const std::string& AMessage) {
            // Reports arrive on the main thread, the thread that reads Reported.
            Reported.push_back(AMessage);
        });
    }
    ~TMainThreadTest() override { SetErrorReport(std::move(FPreviousReport)); }

    void SetUp() override { ASSERT_TRUE(TRunningThreads::WaitForNone(Patience)); }
    void TearDown() override {
        EXPECT_TRUE(TRunningThreads::WaitForNone(Patience)) << "a thread was left behind";
    }

    template <typename TPredicate> bool RunLoopUntil(TPredicate ADone) {
        return Loop->RunUntil(ADone, Patience);
    }

    std::shared_ptr<TMainThreadLoop> Loop = std::make_shared<TMainThreadLoop>();
    TMainThreadDispatcherScope Installed{Loop};
    std::vector<std::string> Reported;

private:
    TErrorReport FPreviousReport;
};

} // namespace corvane::testing
