// A batch of update jobs through the task list, measured against the plain peer of
// std::async (one thread per job, the caller waiting on the futures): the time from queueing
// the first job until the completion has run on the main thread, and the delay between the
// last job's end and the completion.
#include "update/MainThreadLoop.h"
#include "update/RunningThreads.h"
#include "update/TaskList.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <vector>

using namespace corvane;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kJobs = 49; // one module and the 48 shared files
constexpr int kRounds = 41;

// A job that keeps a processor busy for about microseconds, like hashing or copying a file.
void Work(int microseconds) {
    const auto end = Clock::now() + std::chrono::microseconds(microseconds);
    volatile unsigned sink = 0;
    while (Clock::now() < end) {
        sink = sink + 1;
    }
}

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

struct Result {
    double batch;      // microseconds from the first job queued to the completion
    double completion; // microseconds from the last job's end to the completion
};

Result RunTasksList(MainThreadLoop& loop, int jobMicroseconds) {
    std::atomic<Clock::rep> lastEnd = 0;
    bool done = false;
    Clock::time_point completed;
    const auto start = Clock::now();
    auto tasks = TaskList::New();
    for (int i = 0; i < kJobs; ++i) {
        tasks->Run([&] {
            Work(jobMicroseconds);
            const auto now = Clock::now().time_since_epoch().count();
            auto seen = lastEnd.load();
            while (seen < now && !lastEnd.compare_exchange_weak(seen, now)) {
            }
        });
    }
    tasks->WhenDone([&] {
        completed = Clock::now();
        done = true;
        tasks.reset();
    });
    loop.RunUntil([&] { return done; }, std::chrono::minutes(1));
    RunningThreads::WaitForNone(std::chrono::minutes(1));
    const auto last = Clock::time_point(Clock::duration(lastEnd.load()));
    return {std::chrono::duration<double, std::micro>(completed - start).count(),
            std::chrono::duration<double, std::micro>(completed - last).count()};
}

Result RunAsync(int jobMicroseconds) {
    const auto start = Clock::now();
    std::vector<std::future<Clock::time_point>> futures;
    for (int i = 0; i < kJobs; ++i) {
        futures.push_back(std::async(std::launch::async, [=] {
            Work(jobMicroseconds);
            return Clock::now();
        }));
    }
    Clock::time_point last{};
    for (auto& future : futures) {
        last = std::max(last, future.get());
    }
    const auto completed = Clock::now();
    return {std::chrono::duration<double, std::micro>(completed - start).count(),
            std::chrono::duration<double, std::micro>(completed - last).count()};
}

} // namespace

int main() {
    auto loop = std::make_shared<MainThreadLoop>();
    MainThreadDispatcherScope installed(loop);
    std::printf("%d jobs per batch, median of %d batches\n", kJobs, kRounds);
    for (const int jobMicroseconds : {0, 200, 2000}) {
        std::vector<double> ourBatch, ourCompletion, peerBatch, peerCompletion;
        for (int r = 0; r < kRounds; ++r) {
            const Result ours = RunTasksList(*loop, jobMicroseconds);
            const Result peer = RunAsync(jobMicroseconds);
            ourBatch.push_back(ours.batch);
            ourCompletion.push_back(ours.completion);
            peerBatch.push_back(peer.batch);
            peerCompletion.push_back(peer.completion);
        }
        const double ours = Median(ourBatch);
        const double peer = Median(peerBatch);
        std::printf("jobs of %4d us: task list %9.0f us, std::async %9.0f us, ratio %.2f "
                    "(below 1: faster); last job to completion %6.0f us (std::async %6.0f us)\n",
                    jobMicroseconds, ours, peer, ours / peer, Median(ourCompletion),
                    Median(peerCompletion));
    }
    return 0;
}
