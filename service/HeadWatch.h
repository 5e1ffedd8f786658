// Ends connections whose request head does not arrive in time: one that sends nothing, part
// of a request, or nothing more after its last answer. Each holds a socket, and a process
// has only so many handles; left open, enough of them would keep everyone else out.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace corvane {

class THeadWatch {
public:
    // One watched connection. Its clock runs from Add, and again from each WaitForHead.
    class TEntry {
    public:
        explicit TEntry(int socket) : Socket(socket) {}
        // The head of a request arrived: no limit while it is being answered.
        void HeadArrived() { WaitingSince.store(0, std::memory_order_relaxed); }
        // The answer is out: the next request's head has the whole limit again.
        void WaitForHead() { WaitingSince.store(Now(), std::memory_order_relaxed); }

    private:
        friend class THeadWatch;
        static std::int64_t Now();

        const int Socket;
        std::atomic<std::int64_t> WaitingSince{Now()}; // steady milliseconds; 0: not waiting
        bool Ended = false;                            // the watch's lock held
    };

    explicit THeadWatch(std::chrono::milliseconds limit);
    ~THeadWatch();
    THeadWatch(const THeadWatch&) = delete;
    THeadWatch& operator=(const THeadWatch&) = delete;

    // Watches a connection that has just been accepted; the entry is the watch's until
    // Remove, which is to be called before the socket is closed.
    TEntry& Add(int socket);
    void Remove(TEntry& entry);

private:
    void Run();

    const std::int64_t FLimit; // milliseconds
    std::mutex FLock;
    std::condition_variable FWake;
    bool FStopping = false;
    std::unordered_map<const TEntry*, std::unique_ptr<TEntry>> FEntries;
    std::thread FThread;
};

} // namespace corvane
