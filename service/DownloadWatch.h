// Ends downloads whose file was cut short while it was being sent. The kernel's file-to-socket
// path then has no bytes left to send, and the HTTP library would wait for them until the
// connection's idle time ran out, holding the workstation's update for that long.
#pragma once

#include "platform/ServiceFiles.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace corvane {

class TDownloadWatch {
public:
    TDownloadWatch();
    ~TDownloadWatch();
    TDownloadWatch(const TDownloadWatch&) = delete;
    TDownloadWatch& operator=(const TDownloadWatch&) = delete;

    // Watches one download: the connection's socket, a handle of its own on the file being
    // sent, and the length promised in the answer. Returns the ticket for Remove.
    std::uint64_t Add(int socket, TServedFile file, std::uint64_t promised);

    // Stops watching; to be called before the socket is closed.
    void Remove(std::uint64_t ticket);

private:
    struct TWatched {
        int Socket;
        TServedFile File;
        std::uint64_t Promised;
        bool Ended = false;
    };
    void Run();

    std::mutex FLock;
    std::condition_variable FWake;
    bool FStopping = false;
    std::uint64_t FNextTicket = 1;
    std::map<std::uint64_t, TWatched> FWatched;
    std::thread FThread;
};

} // namespace corvane
