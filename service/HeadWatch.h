// Ends connections whose request head does not arrive in time: one that sends nothing, part
// of a request, or nothing more after its last answer. Each holds a socket, and a process
// has only so many handles; left open, enough of them would keep everyone else out.
#pragma once

#include "platform/Handles.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace corvane {

class HeadWatch {
public:
    // One watched connection. Its clock runs from Add, and again from each WaitForHead.
    class Entry {
    public:
        explicit Entry(SocketHandle socket) : socket_(socket) {}
        // The head of a request arrived: no limit while it is being answered.
        void HeadArrived() { waitingSince_.store(0, std::memory_order_relaxed); }
        // The answer is out: the next request's head has the whole limit again.
        void WaitForHead() { waitingSince_.store(Now(), std::memory_order_relaxed); }

    private:
        friend class HeadWatch;
        static std::int64_t Now();

        const SocketHandle socket_;
        std::atomic<std::int64_t> waitingSince_{Now()}; // steady milliseconds; 0: not waiting
        bool ended_ = false;                            // the watch's lock held
    };

    explicit HeadWatch(std::chrono::milliseconds limit);
    ~HeadWatch();
    HeadWatch(const HeadWatch&) = delete;
    HeadWatch& operator=(const HeadWatch&) = delete;

    // Watches a connection that has just been accepted; the entry is the watch's until
    // Remove, which is to be called before the socket is closed.
    Entry& Add(SocketHandle socket);
    void Remove(Entry& entry);

private:
    void Run();

    const std::int64_t limit_; // milliseconds
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::unordered_map<const Entry*, std::unique_ptr<Entry>> entries_;
    std::thread thread_;
};

} // namespace corvane
