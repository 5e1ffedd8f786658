// A pool of worker threads. Workers are created on demand, one for each job that finds no free
// worker, up to the minimum (the processor count). Beyond that a monitor thread looks every
// MonitorInterval: while jobs wait and the busy workers finished fewer jobs than there are
// workers since its last look (they are blocked on files or the network rather than short of
// processors), it adds one worker, up to the maximum. Workers idle for IdleTimeout retire.
#pragma once

#include "update/Callables.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace corvane {

struct ThreadPoolOptions {
    // 0: the processor count.
    size_t minWorkers = 0;
    // 0: 25 workers per processor.
    size_t maxWorkers = 0;
    std::chrono::milliseconds monitorInterval{500};
    std::chrono::milliseconds idleTimeout{5000};
};

class ThreadPool {
public:
    ThreadPool();
    explicit ThreadPool(const ThreadPoolOptions& options);
    // Shuts the pool down: the jobs already queued still run, then every worker and the
    // monitor end, and the destructor waits for them. When it runs on one of the pool's own
    // workers (a job released the pool's owner), that worker is left to end by itself as
    // soon as its job returns, since a thread cannot wait for itself.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Queues job. An error escaping the job is dropped. Raises Exception once the pool is
    // shutting down, and std::system_error when the pool has no worker and cannot start one.
    void Queue(Proc job);

    // Workers that have not ended.
    size_t WorkerCount() const;

    static size_t ProcessorCount();

private:
    class SharedState;
    std::shared_ptr<SharedState> core_;
};

} // namespace corvane
