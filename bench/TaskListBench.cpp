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
using TClock = std::chrono::steady_clock;

namespace {

constexpr int Jobs = 49; // one module and the 48 shared files
constexpr int Rounds = 41;

// A job that keeps a processor busy for about AMicroseconds, like hashing or copying a file.
void Work(int AMicroseconds) {
    const auto LEnd = TClock::now() + std::chrono::microseconds(AMicroseconds);
    volatile unsigned LSink = 0;
    while (TClock::now() < LEnd) {
        LSink = LSink + 1;
    }
}

double Median(std::vector<double> AValues) {
    std::nth_element(AValues.begin(), AValues.begin() + AValues.size() / 2, AValues.end());
    return AValues[AValues.size() / 2];
}

struct TResult {
    double Batch;      // microseconds from the first job queued to the completion
    double Completion; // microseconds from the last job's end to the completion
};

TResult RunTasksList(TMainThreadLoop& ALoop, int AJobMicroseconds) {
    std::atomic<TClock::rep> LLastEnd = 0;
    bool LDone = false;
    TClock::time_point LCompleted;
    const auto LStart = TClock::now();
    auto LTasks = TTasksList::New();
    for (int I = 0; I < Jobs; ++I) {
        LTasks->Run([&] {
            Work(AJobMicroseconds);
            const auto LNow = TClock::now().time_since_epoch().count();
            auto LSeen = LLastEnd.load();
            while (LSeen < LNow && !LLastEnd.compare_exchange_weak(LSeen, LNow)) {
            }
        });
    }
    LTasks->AWait([&] {
        LCompleted = TClock::now();
        LDone = true;
        LTasks.reset();
    });
    ALoop.RunUntil([&] { return LDone; }, std::chrono::minutes(1));
    TRunningThreads::WaitForNone(std::chrono::minutes(1));
    const auto LLast = TClock::time_point(TClock::duration(LLastEnd.load()));
    return {std::chrono::duration<double, std::micro>(LCompleted - LStart).count(),
            std::chrono::duration<double, std::micro>(LCompleted - LLast).count()};
}

TResult RunAsync(int AJobMicroseconds) {
    const auto LStart = TClock::now();
    std::vector<std::future<TClock::time_point>> LFutures;
    for (int I = 0; I < Jobs; ++I) {
        LFutures.push_back(std::async(std::launch::async, [=] {
            Work(AJobMicroseconds);
            return TClock::now();
        }));
    }
    TClock::time_point LLast{};
    for (auto& LFuture : LFutures) {
        LLast = std::max(LLast, LFuture.get());
    }
    const auto LCompleted = TClock::now();
    return {std::chrono::duration<double, std::micro>(LCompleted - LStart).count(),
            std::chrono::duration<double, std::micro>(LCompleted - LLast).count()};
}

} // namespace

int main() {
    auto LLoop = std::make_shared<TMainThreadLoop>();
    TMainThreadDispatcherScope LInstalled(LLoop);
    std::printf("%d jobs per batch, median of %d batches\n", Jobs, Rounds);
    for (const int LJobMicroseconds : {0, 200, 2000}) {
        std::vector<double> LOurBatch, LOurCompletion, LPeerBatch, LPeerCompletion;
        for (int R = 0; R < Rounds; ++R) {
            const TResult LOurs = RunTasksList(*LLoop, LJobMicroseconds);
            const TResult LPeer = RunAsync(LJobMicroseconds);
            LOurBatch.push_back(LOurs.Batch);
            LOurCompletion.push_back(LOurs.Completion);
            LPeerBatch.push_back(LPeer.Batch);
            LPeerCompletion.push_back(LPeer.Completion);
        }
        const double LOurs = Median(LOurBatch);
        const double LPeer = Median(LPeerBatch);
        std::printf("jobs of %4d us: task list %9.0f us, std::async %9.0f us, ratio %.2f "
                    "(below 1: faster); last job to completion %6.0f us (std::async %6.0f us)\n",
                    LJobMicroseconds, LOurs, LPeer, LOurs / LPeer, Median(LOurCompletion),
                    Median(LPeerCompletion));
    }
    return 0;
}
