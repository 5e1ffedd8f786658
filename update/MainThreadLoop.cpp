#include "update/MainThreadLoop.h"

#include "platform/ErrorReport.h"
#include "platform/Errors.h"

#include <utility>

namespace corvane {

MainThreadLoop::MainThreadLoop() : mainThread_(std::this_thread::get_id()) {}

MainThreadLoop::~MainThreadLoop() {
    Close();
}

void MainThreadLoop::Post(Proc call) {
    {
        std::lock_guard guard(lock_);
        if (!closed_) {
            calls_.push_back(std::move(call));
            changed_.notify_all();
            return;
        }
    }
    // Closed: call is destroyed here, outside the lock, without running.
}

bool MainThreadLoop::IsMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

void MainThreadLoop::HandlePendingEvents() {
    if (!IsMainThread()) {
        return;
    }
    size_t waiting;
    {
        std::lock_guard guard(lock_);
        waiting = calls_.size();
    }
    // Only what was waiting on entry: a call that posts again must not keep us here.
    for (; waiting > 0; --waiting) {
        Proc call;
        if (!TakeCall(call, std::chrono::steady_clock::time_point::min())) {
            break;
        }
        RunCall(call);
    }
}

void MainThreadLoop::Run() {
    CheckMainThread();
    for (;;) {
        Proc call;
        {
            std::unique_lock lock(lock_);
            changed_.wait(lock, [this] { return quit_ || closed_ || !calls_.empty(); });
            if (quit_ || closed_) {
                quit_ = false;
                return;
            }
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        RunCall(call);
    }
}

void MainThreadLoop::Quit() {
    std::lock_guard guard(lock_);
    quit_ = true;
    changed_.notify_all();
}

bool MainThreadLoop::RunUntil(const std::function<bool()>& done,
                              std::chrono::milliseconds timeout) {
    CheckMainThread();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        Proc call;
        if (!TakeCall(call, deadline)) {
            return done();
        }
        RunCall(call);
    }
    return true;
}

void MainThreadLoop::Close() {
    std::deque<Proc> dropped;
    {
        std::lock_guard guard(lock_);
        closed_ = true;
        dropped.swap(calls_);
        changed_.notify_all();
    }
    // dropped is destroyed here, outside the lock: a dropped call may release objects whose
    // destruction posts again.
}

bool MainThreadLoop::TakeCall(Proc& call, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(lock_);
    if (!changed_.wait_until(lock, deadline, [this] { return !calls_.empty(); })) {
        return false;
    }
    call = std::move(calls_.front());
    calls_.pop_front();
    return true;
}

void MainThreadLoop::RunCall(Proc& call) {
    try {
        call();
    } catch (...) {
        HandleException(std::current_exception());
    }
    // The call's captured values are released here, on the main thread.
    call = nullptr;
}

void MainThreadLoop::CheckMainThread() const {
    if (!IsMainThread()) {
        throw Exception("The event loop runs only on its main thread");
    }
}

} // namespace corvane
