// A task handle whose status the test sets, for the task list tests.
#pragma once

#include "platform/Errors.h"
#include "tests/support/MainThreadFixture.h"
#include "update/Task.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace corvane::testing {

// A task handle whose status the test sets. It counts how often its status was read, so a
// test can see that the waiting thread has looked at it, and it can fail a number of reads.
class TFakeTask final : public ITask {
public:
    explicit TFakeTask(TTaskStatus AStatus, int AFailingReads = 0)
        : FStatus(AStatus), FFailingReads(AFailingReads) {}

    std::shared_ptr<ITask> Start() override { throw Exception("not startable"); }
    TTaskStatus Status() const override {
        std::lock_guard LGuard(FLock);
        ++FReads;
        FChanged.notify_all();
        if (FFailingReads > 0) {
            --FFailingReads;
            throw Exception("status unreadable");
        }
        return FStatus;
    }
    bool Cancel() override { return false; }
    std::exception_ptr Error() const override { return nullptr; }
    void AddWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) override {
        std::lock_guard LGuard(FLock);
        FWaiters.push_back(AWaiter);
    }
    void RemoveWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) override {
        std::lock_guard LGuard(FLock);
        std::erase(FWaiters, AWaiter);
    }

    void Finish(TTaskStatus AStatus) {
        std::vector<std::shared_ptr<TTaskWaiter>> LWaiters;
        {
            std::lock_guard LGuard(FLock);
            FStatus = AStatus;
            LWaiters = FWaiters;
        }
        for (const auto& LWaiter : LWaiters) {
            LWaiter->Signal();
        }
    }
    // Waits until the status has been read at least ACount times.
    bool WaitForReads(int ACount) {
        std::unique_lock LLock(FLock);
        return FChanged.wait_for(LLock, Patience, [&] { return FReads >= ACount; });
    }
    int Reads() const {
        std::lock_guard LGuard(FLock);
        return FReads;
    }

private:
    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    TTaskStatus FStatus;
    mutable int FFailingReads;
    mutable int FReads = 0;
    std::vector<std::shared_ptr<TTaskWaiter>> FWaiters;
};

} // namespace corvane::testing
