// Task handles: a job queued on a thread pool, with its status, and a wait for any of several
// tasks.
#pragma once

#include "update/Callables.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace corvane {

class TThreadPool;

// One status at a time. A task that has Completed, was Cancelled or Failed has finished.
enum class TTaskStatus {
    Created,
    WaitingToRun,
    Running,
    WaitingForChildren,
    Completed,
    Cancelled,
    Failed
};

bool IsFinished(TTaskStatus AStatus);

// Woken when one of the tasks it was given to has finished; see TTask::WaitForAny.
class TTaskWaiter {
public:
    void Signal();
    // Waits until signalled or until ATimeout has passed; true when signalled.
    bool Wait(std::chrono::milliseconds ATimeout);

private:
    std::mutex FLock;
    std::condition_variable FSignalled;
    bool FSet = false;
};

class ITask {
public:
    virtual ~ITask() = default;

    // Queues the job on its pool and returns the task. Raises Exception when the task was
    // already started or cancelled, or when its pool has shut down.
    virtual std::shared_ptr<ITask> Start() = 0;
    virtual TTaskStatus Status() const = 0;
    // A task that has not begun running becomes Cancelled and its job never runs; true then.
    // A running or finished task is left alone; false then.
    virtual bool Cancel() = 0;
    // The error the job raised (status Failed), else nullptr.
    virtual std::exception_ptr Error() const = 0;

    // AWaiter is signalled once the task has finished, at once when it already has.
    virtual void AddWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) = 0;
    virtual void RemoveWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) = 0;
};

// A task whose job calls a procedure. An error raised by the procedure is caught and stored;
// the task then has the status Failed and the error never reaches the pool's thread.
class TTask final : public ITask, public std::enable_shared_from_this<TTask> {
    struct TPrivate {};

public:
    // A task in the Created status whose job calls AProc on APool.
    static std::shared_ptr<ITask> Create(TProc AProc, TThreadPool& APool);

    // Waits until any of ATasks has finished or ATimeout has passed. Returns the index of a
    // finished task, or -1 when none finished in time (or ATasks is empty).
    static int WaitForAny(const std::vector<std::shared_ptr<ITask>>& ATasks,
                          std::chrono::milliseconds ATimeout);

    TTask(TPrivate, TProc AProc, TThreadPool& APool);

    std::shared_ptr<ITask> Start() override;
    TTaskStatus Status() const override;
    bool Cancel() override;
    std::exception_ptr Error() const override;
    void AddWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) override;
    void RemoveWaiter(const std::shared_ptr<TTaskWaiter>& AWaiter) override;

private:
    void Execute();
    void Finish(TTaskStatus AStatus, std::exception_ptr AError);

    mutable std::mutex FLock;
    TTaskStatus FStatus = TTaskStatus::Created;
    TProc FProc;
    std::exception_ptr FError;
    std::vector<std::shared_ptr<TTaskWaiter>> FWaiters;
    // How the task reaches its pool; it fails to start once the pool has shut down.
    std::function<void(TProc)> FQueue;
};

} // namespace corvane
