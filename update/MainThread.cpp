#include "update/MainThread.h"

#include <mutex>
#include <utility>

namespace corvane {

namespace {

std::mutex DispatcherLock;
std::shared_ptr<IMainThreadDispatcher> InstalledDispatcher;

} // namespace

std::shared_ptr<IMainThreadDispatcher>
SetMainThreadDispatcher(std::shared_ptr<IMainThreadDispatcher> ADispatcher) {
    std::lock_guard LGuard(DispatcherLock);
    return std::exchange(InstalledDispatcher, std::move(ADispatcher));
}

std::shared_ptr<IMainThreadDispatcher> MainThreadDispatcher() {
    std::lock_guard LGuard(DispatcherLock);
    return InstalledDispatcher;
}

void ProcessMessages() {
    if (const auto LDispatcher = MainThreadDispatcher()) {
        LDispatcher->ProcessMessages();
    }
}

TMainThreadDispatcherScope::TMainThreadDispatcherScope(
    std::shared_ptr<IMainThreadDispatcher> ADispatcher)
    : FPrevious(SetMainThreadDispatcher(std::move(ADispatcher))) {}

TMainThreadDispatcherScope::~TMainThreadDispatcherScope() {
    SetMainThreadDispatcher(std::move(FPrevious));
}

} // namespace corvane
