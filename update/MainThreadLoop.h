// A minimal event loop of our own for programs without a window toolkit (corvane-update) and
// for tests: the thread that creates it is the main thread, and it runs the calls handed over
// to it when that thread asks.
#pragma once

#include "update/MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace corvane {

class MainThreadLoop final : public MainThreadDispatcherInterface {
public:
    // The calling thread becomes the loop's main thread.
    MainThreadLoop();
    // Drops what is still queued (see Close).
    ~MainThreadLoop() override;
    MainThreadLoop(const MainThreadLoop&) = delete;
    MainThreadLoop& operator=(const MainThreadLoop&) = delete;

    void Post(Proc call) override;
    bool IsMainThread() const override;
    // Runs the calls queued when it is called (main thread only; elsewhere nothing).
    void HandlePendingEvents();

    // Runs handed-over calls, waiting for them, until Quit is called (main thread only).
    void Run();
    // Makes Run return once the call it is running has returned; any thread may call it.
    void Quit();
    // Runs handed-over calls, waiting for them, until done returns true (checked before
    // waiting and after each call) or timeout has passed; returns the last result of done.
    // Main thread only. The time-out is a safety net for callers that must never hang.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Ends the loop for good: the calls still queued and every call posted later are
    // destroyed without running, which releases what they hold.
    void Close();

private:
    // Takes the next call, waiting until deadline for one; false when none came.
    bool TakeCall(Proc& call, std::chrono::steady_clock::time_point deadline);
    void RunCall(Proc& call);
    void CheckMainThread() const;

    const std::thread::id mainThread_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Proc> calls_;
    bool quit_ = false;
    bool closed_ = false;
};

} // namespace corvane
