#include "service/DownloadWatch.h"

#include "platform/Process.h"

#include <chrono>

namespace corvane {

namespace {

// How often the files being sent are looked at: a cut file costs a client at most this
// much waiting.
constexpr auto kInterval = std::chrono::milliseconds(500);

} // namespace

TDownloadWatch::TDownloadWatch() : FThread([this] { Run(); }) {}

TDownloadWatch::~TDownloadWatch() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    FThread.join();
}

std::uint64_t TDownloadWatch::Add(int socket, TServedFile file, std::uint64_t promised) {
    std::uint64_t ticket = 0;
    bool first = false;
    {
        std::lock_guard lock(FLock);
        ticket = FNextTicket++;
        first = FWatched.empty();
        FWatched.emplace(ticket, TWatched{socket, std::move(file), promised});
    }
    if (first)
        FWake.notify_all();
    return ticket;
}

void TDownloadWatch::Remove(std::uint64_t ticket) {
    std::lock_guard lock(FLock);
    FWatched.erase(ticket);
}

void TDownloadWatch::Run() {
    std::unique_lock lock(FLock);
    while (!FStopping) {
        // Asleep while nothing is being sent; then a look every interval.
        FWake.wait(lock, [this] { return FStopping || !FWatched.empty(); });
        FWake.wait_for(lock, kInterval, [this] { return FStopping; });
        // The lock is held while ending a connection, so its socket cannot be closed (by
        // the completion that removes it first) and reused meanwhile.
        for (auto& [ticket, watched] : FWatched) {
            if (!watched.Ended && watched.File.CurrentSize() < watched.Promised) {
                EndConnection(watched.Socket);
                watched.Ended = true;
            }
        }
    }
}

} // namespace corvane
