#include "update/Task.h"

#include "platform/Errors.h"
#include "update/ThreadPool.h"

#include <algorithm>
#include <utility>

namespace corvane {

bool IsFinished(TTaskStatus AStatus) {
    return AStatus == TTaskStatus::Completed || AStatus == TTaskStatus::Cancelled ||
           AStatus == TTaskStatus::Failed;
}

void TTaskWaiter::Signal() {
    {
        std::lock_guard LGuard(FLock);
        FSet = true;
    }
    FSignalled.notify_all();
}

bool TTaskWaiter::Wait(std::chrono::milliseconds ATimeout) {
    std::unique_lock LLock(FLock);
    return FSignalled.wait_for(LLock, ATimeout, [this] { return FSet; });
}

std::shared_ptr<ITask> TTask::Create(TProc AProc, TThreadPool& APool) {
    return std::make_shared<TTask>(TPrivate{}, std::move(AProc), APool);
}

int TTask::WaitForAny(const std::vector<std::shared_ptr<ITask>>& ATasks,
                      std::chrono::milliseconds ATimeout) {
    if (ATasks.empty()) {
        return -1;
    }
    const auto LWaiter = std::make_shared<TTaskWaiter>();
    // Takes the waiter off every task it was given to, also when adding it failed halfway.
    struct TRemoval {
        const std::vector<std::shared_ptr<ITask>>& Tasks;
        const std::shared_ptr<TTaskWaiter>& Waiter;
        size_t Added = 0;
        ~TRemoval() {
            for (size_t I = 0; I < Added; ++I) {
                Tasks[I]->RemoveWaiter(Waiter);
            }
        }
    } LRemoval{ATasks, LWaiter};
    for (const auto& LTask : ATasks) {
        LTask->AddWaiter(LWaiter);
        ++LRemoval.Added;
    }
    LWaiter->Wait(ATimeout);
    for (size_t I = 0; I < ATasks.size(); ++I) {
        if (IsFinished(ATasks[I]->Status())) {
            return static_cast<int>(I);
        }
    }
    return -1;
}

TTask::TTask(TPrivate, TProc AProc, TThreadPool& APool)
    : FProc(std::move(AProc)), FQueue(APool.QueueHandle()) {}

std::shared_ptr<ITask> TTask::Start() {
    {
        std::lock_guard LGuard(FLock);
        if (FStatus != TTaskStatus::Created) {
            throw Exception(FStatus == TTaskStatus::Cancelled
                                ? "The task has been cancelled"
                                : "The task has already been started");
        }
        FStatus = TTaskStatus::WaitingToRun;
    }
    try {
        FQueue([LSelf = shared_from_this()] { LSelf->Execute(); });
    } catch (...) {
        std::lock_guard LGuard(FLock);
        if (FStatus == TTaskStatus::WaitingToRun) {
            FStatus = TTaskStatus::Created;
        }
        throw;
    }
    return shared_from_this();
}

TTaskStatus TTask::Status() const {
    std::lock_guard LGuard(FLock);
    return FStatus;
}

bool TTask::Cancel() {
    TProc LDropped;
    std::vector<std::shared_ptr<TTaskWaiter>> LWaiters;
    {
        std::lock_guard LGuard(FLock);
        if (FStatus != TTaskStatus::Created && FStatus != TTaskStatus::WaitingToRun) {
            return false;
        }
        FStatus = TTaskStatus::Cancelled;
        LDropped = std::move(FProc);
        LWaiters.swap(FWaiters);
    }
    for (const auto& LWaiter : LWaiters) {
        LWaiter->Signal();
    }
    return true;
}

std::exception_ptr TTask::Error() const {
    std::lock_guard LGuard(FLock);
    return FError;
}

void TTask::AddWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) {
    {
        std::lock_guard LGuard(FLock);
        if (!IsFinished(FStatus)) {
            FWaiters.push_back(AWaiter);
            return;
        }
    }
    AWaiter->Signal();
}

void TTask::RemoveWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) {
    std::lock_guard LGuard(FLock);
    std::erase(FWaiters, AWaiter);
}

void TTask::Execute() {
    TProc LProc;
    {
        std::lock_guard LGuard(FLock);
        if (FStatus != TTaskStatus::WaitingToRun) {
            return; // Cancelled while it waited for a worker.
        }
        FStatus = TTaskStatus::Running;
        LProc = std::move(FProc);
    }
    std::exception_ptr LError;
    try {
        LProc();
    } catch (...) {
        LError = std::current_exception();
    }
    // The job's captured values are gone before the task counts as finished, so whoever
    // waits for it may free what they referred to.
    LProc = nullptr;
    const TTaskStatus LStatus = LError ? TTaskStatus::Failed : TTaskStatus::Completed;
    Finish(LStatus, std::move(LError));
}

void TTask::Finish(TTaskStatus AStatus, std::exception_ptr AError) {
    std::vector<std::shared_ptr<TTaskWaiter>> LWaiters;
    {
        std::lock_guard LGuard(FLock);
        FStatus = AStatus;
        FError = std::move(AError);
        LWaiters.swap(FWaiters);
    }
    for (const auto& LWaiter : LWaiters) {
        LWaiter->Signal();
    }
}

} // namespace corvane
