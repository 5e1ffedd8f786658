// Ends downloads whose file was cut short while it was being sent. The kernel's file-to-socket
// path then has no bytes left to send, and the HTTP library would wait for them until the
// connection's idle time ran out, holding the workstation's update for that long.
#pragma once

#include "platform/Handles.h"
#include "platform/ServiceFiles.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace corvane {

class DownloadWatch {
public:
    DownloadWatch();
    ~DownloadWatch();
    DownloadWatch(const DownloadWatch&) = delete;
    DownloadWatch& operator=(const DownloadWatch&) = delete;

    // Watches one download: the connection's socket, a handle of its own on the file being
    // sent, and the length promised in the answer. Returns the ticket for Remove.
    std::uint64_t Add(SocketHandle socket, ServedFile file, std::uint64_t promised);

    // Stops watching; to be called before the socket is closed.
    void Remove(std::uint64_t ticket);

private:
    struct Watched {
        SocketHandle socket;
        ServedFile file;
        std::uint64_t promised;
        bool ended = false;
    };
    void Run();

    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::uint64_t nextTicket_ = 1;
    std::map<std::uint64_t, Watched> watched_;
    std::thread thread_;
};

} // namespace corvane
