// Counts the threads that the threading pieces of the core have started and that have not yet
// finished their work: pool workers, pool monitors and self-freeing threads. A program waits
// for the count to reach zero before it ends, so that no self-freeing thread still runs while
// the process tears down its globals; tests use it to see that no thread was left behind.
#pragma once

#include <chrono>
#include <cstddef>

namespace corvane {

class TRunningThreads {
public:
    // Held by one running thread; taken before the thread starts and released as the thread's
    // last action.
    class TToken {
    public:
        TToken() = default;
        ~TToken() { Release(); }
        TToken(TToken&& AOther) noexcept : FHeld(AOther.FHeld) { AOther.FHeld = false; }
        TToken& operator=(TToken&& AOther) noexcept;
        TToken(const TToken&) = delete;
        TToken& operator=(const TToken&) = delete;

        void Release() noexcept;

    private:
        friend class TRunningThreads;
        bool FHeld = false;
    };

    static TToken Enter();
    static size_t Count();
    // Waits until no counted thread is running or ATimeout has passed; true when none runs.
    static bool WaitForNone(std::chrono::milliseconds ATimeout);
};

} // namespace corvane
