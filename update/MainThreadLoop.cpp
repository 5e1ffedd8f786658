#include "update/MainThreadLoop.h"

#include "platform/ErrorReport.h"
#include "platform/Errors.h"

#include <utility>

namespace corvane {

TMainThreadLoop::TMainThreadLoop() : FMainThread(std::this_thread::get_id()) {}

TMainThreadLoop::~TMainThreadLoop() {
    Close();
}

void TMainThreadLoop::Post(TProc ACall) {
    {
        std::lock_guard LGuard(FLock);
        if (!FClosed) {
            FCalls.push_back(std::move(ACall));
            FChanged.notify_all();
            return;
        }
    }
    // Closed: ACall is destroyed here, outside the lock, without running.
}

bool TMainThreadLoop::IsMainThread() const {
    return std::this_thread::get_id() == FMainThread;
}

void TMainThreadLoop::ProcessMessages() {
    if (!IsMainThread()) {
        return;
    }
    size_t LWaiting;
    {
        std::lock_guard LGuard(FLock);
        LWaiting = FCalls.size();
    }
    // Only what was waiting on entry: a call that posts again must not keep us here.
    for (; LWaiting > 0; --LWaiting) {
        TProc LCall;
        if (!TakeCall(LCall, std::chrono::steady_clock::time_point::min())) {
            break;
        }
        RunCall(LCall);
    }
}

void TMainThreadLoop::Run() {
    CheckMainThread();
    for (;;) {
        TProc LCall;
        {
            std::unique_lock LLock(FLock);
            FChanged.wait(LLock, [this] { return FQuit || FClosed || !FCalls.empty(); });
            if (FQuit || FClosed) {
                FQuit = false;
                return;
            }
            LCall = std::move(FCalls.front());
            FCalls.pop_front();
        }
        RunCall(LCall);
    }
}

void TMainThreadLoop::Quit() {
    std::lock_guard LGuard(FLock);
    FQuit = true;
    FChanged.notify_all();
}

bool TMainThreadLoop::RunUntil(const std::function<bool()>& ADone,
                               std::chrono::milliseconds ATimeout) {
    CheckMainThread();
    const auto LDeadline = std::chrono::steady_clock::now() + ATimeout;
    while (!ADone()) {
        TProc LCall;
        if (!TakeCall(LCall, LDeadline)) {
            return ADone();
        }
        RunCall(LCall);
    }
    return true;
}

void TMainThreadLoop::Close() {
    std::deque<TProc> LDropped;
    {
        std::lock_guard LGuard(FLock);
        FClosed = true;
        LDropped.swap(FCalls);
        FChanged.notify_all();
    }
    // LDropped is destroyed here, outside the lock: a dropped call may release objects whose
    // destruction posts again.
}

bool TMainThreadLoop::TakeCall(TProc& ACall, std::chrono::steady_clock::time_point ADeadline) {
    std::unique_lock LLock(FLock);
    if (!FChanged.wait_until(LLock, ADeadline, [this] { return !FCalls.empty(); })) {
        return false;
    }
    ACall = std::move(FCalls.front());
    FCalls.pop_front();
    return true;
}

void TMainThreadLoop::RunCall(TProc& ACall) {
    try {
        ACall();
    } catch (...) {
        HandleException(std::current_exception());
    }
    // The call's captured values are released here, on the main thread.
    ACall = nullptr;
}

void TMainThreadLoop::CheckMainThread() const {
    if (!IsMainThread()) {
        throw Exception("The event loop runs only on its main thread");
    }
}

} // namespace corvane
