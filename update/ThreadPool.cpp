#include "update/ThreadPool.h"

#include "platform/Errors.h"
#include "update/RunningThreads.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace corvane {

class TThreadPool::TCore : public std::enable_shared_from_this<TCore> {
public:
    explicit TCore(const TThreadPoolOptions& AOptions);

    void Queue(TProc AJob);
    size_t WorkerCount() const;
    void Shutdown();

private:
    struct TWorker {
        std::thread Thread;
        bool Ended = false;
    };
    using TLock = std::unique_lock<std::mutex>;

    void WorkerLoop(TWorker& AWorker);
    void MonitorLoop();
    // Under the lock. Raises when the thread cannot be started.
    void StartWorker(TLock& ALock);
    void StartMonitor(TLock& ALock);
    // Under the lock: the threads of workers that have ended, to be joined after unlocking.
    std::vector<std::thread> TakeEndedThreads();
    static void JoinAll(std::vector<std::thread>& AThreads);

    const size_t FMinWorkers;
    const size_t FMaxWorkers;
    const std::chrono::milliseconds FMonitorInterval;
    const std::chrono::milliseconds FIdleTimeout;

    mutable std::mutex FLock;
    std::condition_variable FWorkAvailable;
    std::condition_variable FMonitorWake;
    std::deque<TProc> FJobs;
    // A list keeps every worker's node in place while its thread refers to it.
    std::list<TWorker> FWorkers;
    size_t FLiveWorkers = 0;
    size_t FIdleWorkers = 0;
    uint64_t FFinishedJobs = 0;
    std::thread FMonitor;
    bool FMonitorRunning = false;
    bool FShuttingDown = false;
};

TThreadPool::TCore::TCore(const TThreadPoolOptions& AOptions)
    : FMinWorkers(AOptions.MinWorkers ? AOptions.MinWorkers : ProcessorCount()),
      FMaxWorkers(
          std::max(FMinWorkers, AOptions.MaxWorkers ? AOptions.MaxWorkers : 25 * ProcessorCount())),
      FMonitorInterval(AOptions.MonitorInterval), FIdleTimeout(AOptions.IdleTimeout) {}

void TThreadPool::TCore::Queue(TProc AJob) {
    std::vector<std::thread> LEnded;
    {
        TLock LLock(FLock);
        if (FShuttingDown) {
            throw Exception("The thread pool has been shut down");
        }
        FJobs.push_back(std::move(AJob));
        LEnded = TakeEndedThreads();
        if (FJobs.size() <= FIdleWorkers) {
            FWorkAvailable.notify_one();
        } else if (FLiveWorkers < FMinWorkers) {
            try {
                StartWorker(LLock);
            } catch (...) {
                // Workers that are still there take the job later; with none, it would
                // never run.
                if (FLiveWorkers == 0) {
                    FJobs.pop_back();
                    throw;
                }
            }
        } else {
            try {
                StartMonitor(LLock);
            } catch (...) {
                // The job waits for one of the workers instead.
            }
        }
    }
    JoinAll(LEnded);
}

size_t TThreadPool::TCore::WorkerCount() const {
    std::lock_guard LGuard(FLock);
    return FLiveWorkers;
}

void TThreadPool::TCore::Shutdown() {
    std::vector<std::thread> LThreads;
    {
        std::lock_guard LGuard(FLock);
        FShuttingDown = true;
        for (TWorker& LWorker : FWorkers) {
            if (LWorker.Thread.joinable()) {
                LThreads.push_back(std::move(LWorker.Thread));
            }
        }
        if (FMonitor.joinable()) {
            LThreads.push_back(std::move(FMonitor));
        }
        FWorkAvailable.notify_all();
        FMonitorWake.notify_all();
    }
    for (std::thread& LThread : LThreads) {
        if (LThread.get_id() == std::this_thread::get_id()) {
            LThread.detach();
        } else {
            LThread.join();
        }
    }
}

void TThreadPool::TCore::WorkerLoop(TWorker& AWorker) {
    TLock LLock(FLock);
    for (;;) {
        if (!FJobs.empty()) {
            TProc LJob = std::move(FJobs.front());
            FJobs.pop_front();
            LLock.unlock();
            try {
                LJob();
            } catch (...) {
            }
            // The job's captured values go before the lock is taken again: releasing them
            // may destroy the pool's owner, and with it run Shutdown on this thread.
            LJob = nullptr;
            LLock.lock();
            ++FFinishedJobs;
            continue;
        }
        if (FShuttingDown) {
            break;
        }
        ++FIdleWorkers;
        const bool LWork = FWorkAvailable.wait_for(
            LLock, FIdleTimeout, [this] { return !FJobs.empty() || FShuttingDown; });
        --FIdleWorkers;
        if (!LWork) {
            break; // Idle for too long: retire.
        }
    }
    AWorker.Ended = true;
    --FLiveWorkers;
}

void TThreadPool::TCore::MonitorLoop() {
    TLock LLock(FLock);
    uint64_t LFinishedBefore = FFinishedJobs;
    while (!FShuttingDown) {
        FMonitorWake.wait_for(LLock, FMonitorInterval, [this] { return FShuttingDown; });
        if (FShuttingDown || FJobs.size() <= FIdleWorkers) {
            break; // Nothing waits for a worker; the next job that does starts us again.
        }
        const uint64_t LFinished = FFinishedJobs - LFinishedBefore;
        LFinishedBefore = FFinishedJobs;
        if (LFinished < FLiveWorkers && FLiveWorkers < FMaxWorkers) {
            try {
                StartWorker(LLock);
            } catch (...) {
                // No thread to be had now; look again later.
            }
        }
        std::vector<std::thread> LEnded = TakeEndedThreads();
        if (!LEnded.empty()) {
            LLock.unlock();
            JoinAll(LEnded);
            LLock.lock();
        }
    }
    FMonitorRunning = false;
}

void TThreadPool::TCore::StartWorker(TLock&) {
    TWorker& LWorker = FWorkers.emplace_back();
    try {
        LWorker.Thread = std::thread(
            [LCore = shared_from_this(), &LWorker, LToken = TRunningThreads::Enter()]() mutable {
                LCore->WorkerLoop(LWorker);
                LToken.Release();
            });
    } catch (...) {
        FWorkers.pop_back();
        throw;
    }
    ++FLiveWorkers;
}

void TThreadPool::TCore::StartMonitor(TLock& ALock) {
    if (FMonitorRunning) {
        return;
    }
    if (FMonitor.joinable()) {
        // The previous monitor has left its loop and is only ending; it needs no lock.
        std::thread LPrevious = std::move(FMonitor);
        ALock.unlock();
        LPrevious.join();
        ALock.lock();
        if (FMonitorRunning || FShuttingDown) {
            return;
        }
    }
    FMonitor =
        std::thread([LCore = shared_from_this(), LToken = TRunningThreads::Enter()]() mutable {
            LCore->MonitorLoop();
            LToken.Release();
        });
    FMonitorRunning = true;
}

std::vector<std::thread> TThreadPool::TCore::TakeEndedThreads() {
    std::vector<std::thread> LEnded;
    for (auto LIt = FWorkers.begin(); LIt != FWorkers.end();) {
        if (LIt->Ended && LIt->Thread.joinable()) {
            LEnded.push_back(std::move(LIt->Thread));
            LIt = FWorkers.erase(LIt);
        } else {
            ++LIt;
        }
    }
    return LEnded;
}

void TThreadPool::TCore::JoinAll(std::vector<std::thread>& AThreads) {
    for (std::thread& LThread : AThreads) {
        LThread.join();
    }
}

TThreadPool::TThreadPool() : TThreadPool(TThreadPoolOptions{}) {}

TThreadPool::TThreadPool(const TThreadPoolOptions& AOptions)
    : FCore(std::make_shared<TCore>(AOptions)) {}

TThreadPool::~TThreadPool() {
    FCore->Shutdown();
}

void TThreadPool::Queue(TProc AJob) {
    FCore->Queue(std::move(AJob));
}

size_t TThreadPool::WorkerCount() const {
    return FCore->WorkerCount();
}

size_t TThreadPool::ProcessorCount() {
    const unsigned LCount = std::thread::hardware_concurrency();
    return LCount ? LCount : 1;
}

} // namespace corvane
