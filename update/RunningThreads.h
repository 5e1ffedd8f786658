// Counts the threads that the threading pieces of the core have started and that have not yet
// finished their work: pool workers, pool monitors and self-freeing threads. A program waits
// for the count to reach zero before it ends, so that no self-freeing thread still runs while
// the process tears down its globals; tests use it to see that no thread was left behind.
#pragma once

#include <chrono>
#include <cstddef>

namespace corvane {

class RunningThreads {
public:
    // Held by one running thread; taken before the thread starts and released as the thread's
    // last action.
    class Token {
    public:
        Token() = default;
        ~Token() { Release(); }
        Token(Token&& other) noexcept : held_(other.held_) { other.held_ = false; }
        Token& operator=(Token&& other) noexcept;
        Token(const Token&) = delete;
        Token& operator=(const Token&) = delete;

        void Release() noexcept;

    private:
        friend class RunningThreads;
        bool held_ = false;
    };

    static Token Enter();
    static size_t Count();
    // Waits until no counted thread is running or timeout has passed; true when none runs.
    static bool WaitForNone(std::chrono::milliseconds timeout);
};

} // namespace corvane
