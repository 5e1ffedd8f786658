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

class TMainThreadLoop final : public IMainThreadDispatcher {
public:
    // The calling thread becomes the loop's main thread.
    TMainThreadLoop();
    // Drops what is still queued (see Close).
    ~TMainThreadLoop() override;
    TMainThreadLoop(const TMainThreadLoop&) = delete;
    TMainThreadLoop& operator=(const TMainThreadLoop&) = delete;

    void Post(TProc ACall) override;
    bool IsMainThread() const override;
    // Runs the calls queued when it is called (main thread only; elsewhere nothing).
    void ProcessMessages() override;

    // Runs handed-over calls, waiting for them, until Quit is called (main thread only).
    void Run();
    // Makes Run return once the call it is running has returned; any thread may call it.
    void Quit();
    // Runs handed-over calls, waiting for them, until ADone returns true (checked before
    // waiting and after each call) or ATimeout has passed; returns the last result of ADone.
    // Main thread only. The time-out is a safety net for callers that must never hang.
    bool RunUntil(const std::function<bool()>& ADone, std::chrono::milliseconds ATimeout);

    // Ends the loop for good: the calls still queued and every call posted later are
    // destroyed without running, which releases what they hold.
    void Close();

private:
    // Takes the next call, waiting until ADeadline for one; false when none came.
    bool TakeCall(TProc& ACall, std::chrono::steady_clock::time_point ADeadline);
    void RunCall(TProc& ACall);
    void CheckMainThread() const;

    const std::thread::id FMainThread;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TProc> FCalls;
    bool FQuit = false;
    bool FClosed = false;
};

} // namespace corvane
