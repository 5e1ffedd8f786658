#include "update/TaskList.h"

#include "platform/ErrorReport.h"
#include "platform/Errors.h"
#include "update/MainThread.h"
#include "update/SelfFreeingThread.h"
#include "update/ThreadPool.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace corvane {

namespace {

// The waiting thread wakes when any pending task finishes, and at the latest after this
// long, to pick up tasks registered meanwhile.
constexpr std::chrono::milliseconds WaitSlice{100};

} // namespace

std::shared_ptr<ITasks> TTasksList::New() {
    return std::make_shared<TTasksList>(TPrivate{});
}

TTasksList::TTasksList(TPrivate) : FThreadPool(std::make_unique<TThreadPool>()) {}

TTasksList::~TTasksList() {
    std::vector<std::shared_ptr<ITask>> LTasks;
    {
        std::lock_guard LGuard(FLock);
        LTasks.swap(FTasks);
    }
    // The handles go outside the lock; a task that was queued but not yet run stays alive
    // in the pool, which runs it before it shuts down.
    LTasks.clear();
    FThreadPool.reset();
    FProc = nullptr;
}

std::shared_ptr<ITasks> TTasksList::Run(TProc Func) {
    auto LTask = TTask::Create(std::move(Func), *FThreadPool);
    LTask->Start();
    return Add(std::move(LTask));
}

std::shared_ptr<ITasks> TTasksList::Run(TObject* Sender, TNotifyEvent Event) {
    return Run([Sender, LEvent = std::move(Event)] { LEvent(Sender); });
}

std::shared_ptr<ITasks> TTasksList::Add(std::shared_ptr<ITask> ATask) {
    if (ATask) {
        std::lock_guard LGuard(FLock);
        if (std::find(FTasks.begin(), FTasks.end(), ATask) == FTasks.end()) {
            FTasks.push_back(std::move(ATask));
        }
    }
    return shared_from_this();
}

std::shared_ptr<ITasks> TTasksList::AWait(TProc AEnd) {
    auto LDispatcher = MainThreadDispatcher();
    if (!LDispatcher) {
        throw Exception("No main thread dispatcher is installed");
    }
    {
        std::lock_guard LGuard(FLock);
        FProc = std::move(AEnd);
    }
    // The waiting thread holds the list until it hands that reference to the main thread,
    // so a caller that keeps no reference of its own still gets its completion action.
    TSelfFreeingThread::Start([LSelf = shared_from_this(), LDispatcher]() mutable {
        LSelf->WaitForTasks();
        TTasksList* const LList = LSelf.get();
        // Blocks until the call has returned on the main thread. Afterwards LSelf is empty
        // and this thread touches the list no more; if the event loop dropped the call
        // instead, the list is released when this thread ends.
        Synchronize(*LDispatcher, [&] { LList->WaitThreadTerminate(std::move(LSelf)); });
    });
    return shared_from_this();
}

void TTasksList::WaitForTasks() {
    for (;;) {
        try {
            const std::vector<std::shared_ptr<ITask>> LPending = PendingTasks();
            if (LPending.empty()) {
                return;
            }
            TTask::WaitForAny(LPending, WaitSlice);
        } catch (...) {
            // A step of the wait itself failed (memory, the lock, a task's status). Jobs may
            // still run and use what the completion action releases, so the wait goes on;
            // the pause keeps a lasting failure from spinning.
            std::this_thread::sleep_for(WaitSlice);
        }
    }
}

std::vector<std::shared_ptr<ITask>> TTasksList::PendingTasks() {
    std::vector<std::shared_ptr<ITask>> LPending;
    std::vector<std::shared_ptr<ITask>> LFinished;
    {
        std::lock_guard LGuard(FLock);
        for (std::shared_ptr<ITask>& LEntry : FTasks) {
            if (!LEntry) {
                continue;
            }
            if (IsFinished(LEntry->Status())) {
                LFinished.push_back(std::move(LEntry));
            } else {
                LPending.push_back(LEntry);
            }
        }
    }
    // LFinished drops the list's references to finished tasks here, outside the lock.
    return LPending;
}

void TTasksList::WaitThreadTerminate(std::shared_ptr<TTasksList> ASelf) {
    TProc LProc;
    {
        std::lock_guard LGuard(FLock);
        // Taken, not copied: the action's captured values go as soon as it has run, even
        // when they hold a reference to this list.
        LProc = std::move(FProc);
    }
    // From here on the list may be destroyed, here or inside the action; nothing below
    // touches it.
    ASelf.reset();
    if (LProc) {
        try {
            LProc();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
}

} // namespace corvane
