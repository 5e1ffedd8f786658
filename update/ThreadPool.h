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

struct TThreadPoolOptions {
    // 0: the processor count.
    size_t MinWorkers = 0;
    // 0: 25 workers per processor.
    size_t MaxWorkers = 0;
    std::chrono::milliseconds MonitorInterval{500};
    std::chrono::milliseconds IdleTimeout{5000};
};

class TThreadPool {
public:
    TThreadPool();
    explicit TThreadPool(const TThreadPoolOptions& AOptions);
    // Shuts the pool down: the jobs already queued still run, then every worker and the
    // monitor end, and the destructor waits for them. When it runs on one of the pool's own
    // workers (a job released the pool's owner), that worker is left to end by itself as
    // soon as its job returns, since a thread cannot wait for itself.
    ~TThreadPool();
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    // Queues AJob. An error escaping the job is dropped. Raises Exception once the pool is
    // shutting down, and std::system_error when the pool has no worker and cannot start one.
    void Queue(TProc AJob);

    // Workers that have not ended.
    size_t WorkerCount() const;

    static size_t ProcessorCount();

private:
    class TCore;
    std::shared_ptr<TCore> FCore;
};

} // namespace corvane
