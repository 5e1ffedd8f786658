#include "service/DownloadWatch.h"

#include "platform/ServiceSockets.h"

#include <chrono>

namespace corvane {

namespace {

// How often the files being sent are looked at: a cut file costs a client at most this
// much waiting.
constexpr auto kInterval = std::chrono::milliseconds(500);

} // namespace

DownloadWatch::DownloadWatch() : thread_([this] { Run(); }) {}

DownloadWatch::~DownloadWatch() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t DownloadWatch::Add(SocketHandle socket, ServedFile file, std::uint64_t promised) {
    std::uint64_t ticket = 0;
    bool first = false;
    {
        std::lock_guard lock(lock_);
        ticket = nextTicket_++;
        first = watched_.empty();
        watched_.emplace(ticket, Watched{socket, std::move(file), promised});
    }
    if (first)
        wake_.notify_all();
    return ticket;
}

void DownloadWatch::Remove(std::uint64_t ticket) {
    std::lock_guard lock(lock_);
    watched_.erase(ticket);
}

void DownloadWatch::Run() {
    std::unique_lock lock(lock_);
    while (!stopping_) {
        // Asleep while nothing is being sent; then a look every interval.
        wake_.wait(lock, [this] { return stopping_ || !watched_.empty(); });
        wake_.wait_for(lock, kInterval, [this] { return stopping_; });
        // The lock is held while ending a connection, so its socket cannot be closed (by
        // the completion that removes it first) and reused meanwhile.
        for (auto& [ticket, watched] : watched_) {
            if (!watched.ended && watched.file.CurrentSize() < watched.promised) {
                EndConnection(watched.socket);
                watched.ended = true;
            }
        }
    }
}

} // namespace corvane
