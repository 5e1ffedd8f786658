// Task list: runs a batch of independent jobs in parallel on a thread pool of its own and, once
// every job has ended, calls one completion action on the main thread. Queueing a job and
// asking for the completion action both return at once.
//
//   TaskList::New()->Run([] { CopyOne(); })->Run([] { CopyTwo(); })->WhenDone([] { Done(); });
//
// The list counts the jobs that have not ended. Once WhenDone has been called, whoever brings the
// count to zero (the last job to end, or WhenDone itself when nothing is left to do) hands the
// completion action to the main thread through the installed dispatcher (update/MainThread.h);
// no thread waits or polls for it. The caller must return to its event loop for it to run.
#pragma once

#include "update/Callables.h"

#include <memory>

namespace corvane {

class ThreadPool;

// A reference-counted list of jobs; every operation returns the list, so calls chain.
class ParallelTasks {
public:
    virtual ~ParallelTasks() = default;

    // Queues a job that calls Func on the list's pool; it may start at once. An error escaping
    // Func ends that job only and reaches nobody. Raises, without counting the job, when the
    // pool can start no thread.
    virtual std::shared_ptr<ParallelTasks> Run(Proc func) = 0;
    // Stores end as the completion action and returns at once. end runs once, on the main
    // thread, after every job queued before it ran has ended (failed ones included); a job
    // queued after WhenDone but before that is waited for as well, one queued after end was
    // handed over is not. The list keeps itself alive until then, so the caller may drop its
    // reference; end may release the last reference to the list, and its captured values are
    // released as soon as it has run (a capture of the list itself makes no cycle). An error
    // raised by end goes to the application's default error report. Raises Exception when no
    // main-thread dispatcher is installed. Meant to be called once, last; a second call before
    // the hand-over replaces the action, one after it starts another wait.
    virtual std::shared_ptr<ParallelTasks> WhenDone(Proc end) = 0;
};

class TaskList final : public ParallelTasks, public std::enable_shared_from_this<TaskList> {
    struct Private {};

public:
    // How users obtain a task list.
    static std::shared_ptr<ParallelTasks> New();

    explicit TaskList(Private);
    // Shuts the pool down: jobs already queued still run, and every thread of the pool has
    // ended when it returns.
    ~TaskList() override;
    TaskList(const TaskList&) = delete;
    TaskList& operator=(const TaskList&) = delete;

    std::shared_ptr<ParallelTasks> Run(Proc func) override;
    std::shared_ptr<ParallelTasks> WhenDone(Proc end) override;

private:
    // The count of jobs not yet ended and the completion action; the jobs share it rather than
    // the list, so a job never touches a list that may be gone.
    class PendingJobs;

    std::shared_ptr<PendingJobs> pending_;
    std::unique_ptr<ThreadPool> threadPool_;
};

} // namespace corvane
