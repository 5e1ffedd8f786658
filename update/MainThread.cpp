#include "update/MainThread.h"

#include <mutex>
#include <utility>

namespace corvane {

namespace {

std::mutex dispatcherLock;
std::shared_ptr<MainThreadDispatcherInterface> installedDispatcher;

} // namespace

std::shared_ptr<MainThreadDispatcherInterface>
SetMainThreadDispatcher(std::shared_ptr<MainThreadDispatcherInterface> dispatcher) {
    std::lock_guard guard(dispatcherLock);
    return std::exchange(installedDispatcher, std::move(dispatcher));
}

std::shared_ptr<MainThreadDispatcherInterface> MainThreadDispatcher() {
    std::lock_guard guard(dispatcherLock);
    return installedDispatcher;
}

MainThreadDispatcherScope::MainThreadDispatcherScope(
    std::shared_ptr<MainThreadDispatcherInterface> dispatcher)
    : previous_(SetMainThreadDispatcher(std::move(dispatcher))) {}

MainThreadDispatcherScope::~MainThreadDispatcherScope() {
    SetMainThreadDispatcher(std::move(previous_));
}

} // namespace corvane
