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

class ThreadPool::SharedState : public std::enable_shared_from_this<SharedState> {
public:
    explicit SharedState(const ThreadPoolOptions& options);

    void Queue(Proc job);
    size_t WorkerCount() const;
    void Shutdown();

private:
    struct Worker {
        std::thread thread;
        bool ended = false;
    };
    using Lock = std::unique_lock<std::mutex>;

    void WorkerLoop(Worker& worker);
    void MonitorLoop();
    // Under the lock. Raises when the thread cannot be started.
    void StartWorker(Lock& lock);
    void StartMonitor(Lock& lock);
    // Under the lock: the threads of workers that have ended, to be joined after unlocking.
    std::vector<std::thread> TakeEndedThreads();
    static void JoinAll(std::vector<std::thread>& threads);

    const size_t minWorkers_;
    const size_t maxWorkers_;
    const std::chrono::milliseconds monitorInterval_;
    const std::chrono::milliseconds idleTimeout_;

    mutable std::mutex lock_;
    std::condition_variable workAvailable_;
    std::condition_variable monitorWake_;
    std::deque<Proc> jobs_;
    // A list keeps every worker's node in place while its thread refers to it.
    std::list<Worker> workers_;
    size_t liveWorkers_ = 0;
    size_t idleWorkers_ = 0;
    uint64_t finishedJobs_ = 0;
    std::thread monitor_;
    bool monitorRunning_ = false;
    bool shuttingDown_ = false;
};

ThreadPool::SharedState::SharedState(const ThreadPoolOptions& options)
    : minWorkers_(options.minWorkers ? options.minWorkers : ProcessorCount()),
      maxWorkers_(
          std::max(minWorkers_, options.maxWorkers ? options.maxWorkers : 25 * ProcessorCount())),
      monitorInterval_(options.monitorInterval), idleTimeout_(options.idleTimeout) {}

void ThreadPool::SharedState::Queue(Proc job) {
    std::vector<std::thread> ended;
    {
        Lock lock(lock_);
        if (shuttingDown_) {
            throw Exception("The thread pool has been shut down");
        }
        jobs_.push_back(std::move(job));
        ended = TakeEndedThreads();
        if (jobs_.size() <= idleWorkers_) {
            workAvailable_.notify_one();
        } else if (liveWorkers_ < minWorkers_) {
            try {
                StartWorker(lock);
            } catch (...) {
                // Workers that are still there take the job later; with none, it would
                // never run.
                if (liveWorkers_ == 0) {
                    jobs_.pop_back();
                    throw;
                }
            }
        } else {
            try {
                StartMonitor(lock);
            } catch (...) {
                // The job waits for one of the workers instead.
            }
        }
    }
    JoinAll(ended);
}

size_t ThreadPool::SharedState::WorkerCount() const {
    std::lock_guard guard(lock_);
    return liveWorkers_;
}

void ThreadPool::SharedState::Shutdown() {
    std::vector<std::thread> threads;
    {
        std::lock_guard guard(lock_);
        shuttingDown_ = true;
        for (Worker& worker : workers_) {
            if (worker.thread.joinable()) {
                threads.push_back(std::move(worker.thread));
            }
        }
        if (monitor_.joinable()) {
            threads.push_back(std::move(monitor_));
        }
        workAvailable_.notify_all();
        monitorWake_.notify_all();
    }
    for (std::thread& thread : threads) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
}

void ThreadPool::SharedState::WorkerLoop(Worker& worker) {
    Lock lock(lock_);
    for (;;) {
        if (!jobs_.empty()) {
            Proc job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            try {
                job();
            } catch (...) {
            }
            // The job's captured values go before the lock is taken again: releasing them
            // may destroy the pool's owner, and with it run Shutdown on this thread.
            job = nullptr;
            lock.lock();
            ++finishedJobs_;
            continue;
        }
        if (shuttingDown_) {
            break;
        }
        ++idleWorkers_;
        const bool work = workAvailable_.wait_for(
            lock, idleTimeout_, [this] { return !jobs_.empty() || shuttingDown_; });
        --idleWorkers_;
        if (!work) {
            break; // Idle for too long: retire.
        }
    }
    worker.ended = true;
    --liveWorkers_;
}

void ThreadPool::SharedState::MonitorLoop() {
    Lock lock(lock_);
    uint64_t finishedBefore = finishedJobs_;
    while (!shuttingDown_) {
        monitorWake_.wait_for(lock, monitorInterval_, [this] { return shuttingDown_; });
        if (shuttingDown_ || jobs_.size() <= idleWorkers_) {
            break; // Nothing waits for a worker; the next job that does starts us again.
        }
        const uint64_t finished = finishedJobs_ - finishedBefore;
        finishedBefore = finishedJobs_;
        if (finished < liveWorkers_ && liveWorkers_ < maxWorkers_) {
            try {
                StartWorker(lock);
            } catch (...) {
                // No thread to be had now; look again later.
            }
        }
        std::vector<std::thread> ended = TakeEndedThreads();
        if (!ended.empty()) {
            lock.unlock();
            JoinAll(ended);
            lock.lock();
        }
    }
    monitorRunning_ = false;
}

void ThreadPool::SharedState::StartWorker(Lock&) {
    Worker& worker = workers_.emplace_back();
    try {
        worker.thread = std::thread(
            [core = shared_from_this(), &worker, token = RunningThreads::Enter()]() mutable {
                core->WorkerLoop(worker);
                token.Release();
            });
    } catch (...) {
        workers_.pop_back();
        throw;
    }
    ++liveWorkers_;
}

void ThreadPool::SharedState::StartMonitor(Lock& lock) {
    if (monitorRunning_) {
        return;
    }
    if (monitor_.joinable()) {
        // The previous monitor has left its loop and is only ending; it needs no lock.
        std::thread previous = std::move(monitor_);
        lock.unlock();
        previous.join();
        lock.lock();
        if (monitorRunning_ || shuttingDown_) {
            return;
        }
    }
    monitor_ = std::thread([core = shared_from_this(), token = RunningThreads::Enter()]() mutable {
        core->MonitorLoop();
        token.Release();
    });
    monitorRunning_ = true;
}

std::vector<std::thread> ThreadPool::SharedState::TakeEndedThreads() {
    std::vector<std::thread> ended;
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->ended && it->thread.joinable()) {
            ended.push_back(std::move(it->thread));
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

void ThreadPool::SharedState::JoinAll(std::vector<std::thread>& threads) {
    for (std::thread& thread : threads) {
        thread.join();
    }
}

ThreadPool::ThreadPool() : ThreadPool(ThreadPoolOptions{}) {}

ThreadPool::ThreadPool(const ThreadPoolOptions& options)
    : core_(std::make_shared<SharedState>(options)) {}

ThreadPool::~ThreadPool() {
    core_->Shutdown();
}

void ThreadPool::Queue(Proc job) {
    core_->Queue(std::move(job));
}

size_t ThreadPool::WorkerCount() const {
    return core_->WorkerCount();
}

size_t ThreadPool::ProcessorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count ? count : 1;
}

} // namespace corvane
