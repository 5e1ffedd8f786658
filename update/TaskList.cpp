#include "update/TaskList.h"

#include "platform/ErrorReport.h"
#include "platform/Errors.h"
#include "update/MainThread.h"
#include "update/ThreadPool.h"

#include <cstddef>
#include <mutex>
#include <utility>

namespace corvane {

class TaskList::PendingJobs {
public:
    void JobQueued() {
        std::lock_guard guard(lock_);
        ++count_;
    }

    // Called by every job as its last step, and for a job that could not be queued.
    void JobEnded() {
        std::unique_lock guard(lock_);
        --count_;
        HandOverWhenDue(guard);
    }

    void Await(Proc action, std::shared_ptr<TaskList> list,
               std::shared_ptr<MainThreadDispatcherInterface> dispatcher) {
        std::unique_lock guard(lock_);
        action_ = std::move(action);
        list_ = std::move(list);
        dispatcher_ = std::move(dispatcher);
        HandOverWhenDue(guard);
    }

private:
    // Under the lock, which it releases. Once every job has ended after WhenDone, hands the
    // action to the main thread together with the list's reference to itself.
    void HandOverWhenDue(std::unique_lock<std::mutex>& guard) {
        if (count_ != 0 || !list_) {
            return;
        }
        Proc call = [list = std::move(list_), action = std::move(action_)]() mutable {
            Proc run = std::move(action);
            // From here on the list may be destroyed, here or inside the action; nothing
            // below touches it.
            list.reset();
            if (run) {
                try {
                    run();
                } catch (...) {
                    HandleException(std::current_exception());
                }
            }
        };
        const std::shared_ptr<MainThreadDispatcherInterface> dispatcher = std::move(dispatcher_);
        guard.unlock();
        // Outside the lock: a loop that has ended destroys the call at once, and with it
        // perhaps the list, whose pool still runs jobs that end here.
        dispatcher->Post(std::move(call));
    }

    std::mutex lock_;
    std::size_t count_ = 0;
    Proc action_;
    // Set from WhenDone until the hand-over: the list keeps itself alive while it waits.
    std::shared_ptr<TaskList> list_;
    std::shared_ptr<MainThreadDispatcherInterface> dispatcher_;
};

std::shared_ptr<ParallelTasks> TaskList::New() {
    return std::make_shared<TaskList>(Private{});
}

TaskList::TaskList(Private)
    : pending_(std::make_shared<PendingJobs>()), threadPool_(std::make_unique<ThreadPool>()) {}

TaskList::~TaskList() {
    // First, while the count is still shared: the jobs still queued run to their end.
    threadPool_.reset();
}

std::shared_ptr<ParallelTasks> TaskList::Run(Proc func) {
    pending_->JobQueued();
    try {
        threadPool_->Queue([pending = pending_, job = std::move(func)]() mutable {
            try {
                job();
            } catch (...) {
                // A job's error ends that job only.
            }
            // The job's captured values go before it counts as ended, so the completion
            // action may free what they referred to.
            job = nullptr;
            pending->JobEnded();
        });
    } catch (...) {
        pending_->JobEnded();
        throw;
    }
    return shared_from_this();
}

std::shared_ptr<ParallelTasks> TaskList::WhenDone(Proc end) {
    std::shared_ptr<MainThreadDispatcherInterface> dispatcher = MainThreadDispatcher();
    if (!dispatcher) {
        throw Exception("No main thread dispatcher is installed");
    }
    pending_->Await(std::move(end), shared_from_this(), std::move(dispatcher));
    return shared_from_this();
}

} // namespace corvane
