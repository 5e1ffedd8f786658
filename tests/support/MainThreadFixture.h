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
inline constexpr std::chrono::seconds kPatience{60};

class MainThreadFixture : public ::testing::Test {
protected:
    MainThreadFixture() {
        previousReport_ = SetErrorReport([this](const std::string& message) {
            // Reports arrive on the main thread, the thread that reads Reported.
            reported_.push_back(message);
        });
    }
    ~MainThreadFixture() override { SetErrorReport(std::move(previousReport_)); }

    void SetUp() override { ASSERT_TRUE(RunningThreads::WaitForNone(kPatience)); }
    void TearDown() override {
        EXPECT_TRUE(RunningThreads::WaitForNone(kPatience)) << "a thread was left behind";
    }

    template <typename Predicate> bool RunLoopUntil(Predicate done) {
        return loop_->RunUntil(done, kPatience);
    }

    std::shared_ptr<MainThreadLoop> loop_ = std::make_shared<MainThreadLoop>();
    MainThreadDispatcherScope installed_{loop_};
    std::vector<std::string> reported_;

private:
    ErrorReport previousReport_;
};

} // namespace corvane::testing
