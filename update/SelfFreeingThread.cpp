#include "update/SelfFreeingThread.h"

#include "update/RunningThreads.h"

#include <thread>
#include <utility>

namespace corvane {

void SelfFreeingThread::Start(Proc execute) {
    std::thread thread([token = RunningThreads::Enter(), execute = std::move(execute)]() mutable {
        try {
            execute();
        } catch (...) {
        }
        execute = nullptr;
        token.Release();
    });
    thread.detach();
}

} // namespace corvane
