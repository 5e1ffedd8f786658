#include "update/SelfFreeingThread.h"

#include "update/RunningThreads.h"

#include <thread>
#include <utility>

namespace corvane {

void TSelfFreeingThread::Start(TProc AExecute) {
    std::thread LThread(
        [LToken = TRunningThreads::Enter(), LExecute = std::move(AExecute)]() mutable {
            try {
                LExecute();
            } catch (...) {
            }
            LExecute = nullptr;
            LToken.Release();
        });
    LThread.detach();
}

} // namespace corvane
