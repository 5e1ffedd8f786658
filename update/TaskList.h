// Task list: runs a batch of independent jobs in parallel on a thread pool of its own and, once
// every job has ended, calls one completion action on the main thread. Queueing a job and
// asking for the completion action both return at once.
//
//   TTasksList::New()->Run([] { CopyOne(); })->Run([] { CopyTwo(); })->AWait([] { Done(); });
//
// The completion action runs through the installed main-thread dispatcher
// (update/MainThread.h), so the caller must return to its event loop for it to run.
#pragma once

#include "update/Callables.h"
#include "update/Task.h"

#include <memory>
#include <mutex>
#include <vector>

namespace corvane {

class TThreadPool;

// A reference-counted list of jobs; every operation returns the list, so calls chain.
class ITasks {
public:
    virtual ~ITasks() = default;

    // Queues a job that calls Func on the list's pool, starts it and registers it.
    virtual std::shared_ptr<ITasks> Run(TProc Func) = 0;
    // The same for an event handler; the job calls Event with Sender.
    virtual std::shared_ptr<ITasks> Run(TObject* Sender, TNotifyEvent Event) = 0;
    // Registers ATask, once however often it is added; an empty handle is ignored. It does not
    // start it: a task left in the Created status counts as pending and keeps the completion
    // action from running. A task added after the completion action has run is not waited
    // for.
    virtual std::shared_ptr<ITasks> Add(std::shared_ptr<ITask> ATask) = 0;
    // Stores AEnd as the completion action and returns at once. AEnd runs once, on the main
    // thread, after every registered task has finished (failed and cancelled ones included).
    // The list keeps itself alive until then, so the caller may drop its reference; AEnd may
    // release the last reference to the list, and its captured values are released as soon as
    // it has run (a capture of the list itself makes no cycle). An error raised by AEnd goes to the
    // application's default error report. Raises Exception when no main-thread dispatcher is
    // installed. Meant to be called once, last; a second call starts a second wait, and the
    // action stored at the time runs once, when the first of the waits ends.
    virtual std::shared_ptr<ITasks> AWait(TProc AEnd) = 0;
};

class TTasksList final : public ITasks, public std::enable_shared_from_this<TTasksList> {
    struct TPrivate {};

public:
    // How users obtain a task list.
    static std::shared_ptr<ITasks> New();

    explicit TTasksList(TPrivate);
    // Clears the registry, then shuts the pool down: jobs already queued still run, and every
    // thread of the pool has ended when it returns. Then the completion action is dropped.
    ~TTasksList() override;
    TTasksList(const TTasksList&) = delete;
    TTasksList& operator=(const TTasksList&) = delete;

    std::shared_ptr<ITasks> Run(TProc Func) override;
    std::shared_ptr<ITasks> Run(TObject* Sender, TNotifyEvent Event) override;
    std::shared_ptr<ITasks> Add(std::shared_ptr<ITask> ATask) override;
    std::shared_ptr<ITasks> AWait(TProc AEnd) override;

private:
    // The waiting thread: returns once no registered task is pending.
    void WaitForTasks();
    // One pass over the registry: drops the finished tasks and returns the pending ones.
    std::vector<std::shared_ptr<ITask>> PendingTasks();
    // On the main thread, once the wait has ended: releases ASelf and calls the completion
    // action.
    void WaitThreadTerminate(std::shared_ptr<TTasksList> ASelf);

    std::unique_ptr<TThreadPool> FThreadPool;
    // Guards FTasks and FProc.
    std::mutex FLock;
    TProc FProc;
    // Finished tasks are set to empty, never removed.
    std::vector<std::shared_ptr<ITask>> FTasks;
};

} // namespace corvane
