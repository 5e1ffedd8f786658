#include "service/HeadWatch.h"

#include "platform/Process.h"

#include <algorithm>
#include <vector>

namespace corvane {

std::int64_t THeadWatch::TEntry::Now() {
    // Never 0, which means "not waiting".
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() |
           1;
}

THeadWatch::THeadWatch(std::chrono::milliseconds limit)
    : FLimit(std::max<std::int64_t>(limit.count(), 1)), FThread([this] { Run(); }) {}

THeadWatch::~THeadWatch() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    FThread.join();
}

THeadWatch::TEntry& THeadWatch::Add(int socket) {
    auto entry = std::make_unique<TEntry>(socket);
    TEntry& added = *entry;
    bool first = false;
    {
        std::lock_guard lock(FLock);
        first = FEntries.empty();
        FEntries.emplace(&added, std::move(entry));
    }
    if (first)
        FWake.notify_all();
    return added;
}

void THeadWatch::Remove(TEntry& entry) {
    std::unique_ptr<TEntry> removed; // freed outside the lock
    std::lock_guard lock(FLock);
    const auto found = FEntries.find(&entry);
    if (found != FEntries.end()) {
        removed = std::move(found->second);
        FEntries.erase(found);
    }
}

void THeadWatch::Run() {
    // A late head waits at most this much longer than the limit.
    const auto interval = std::chrono::milliseconds(std::clamp<std::int64_t>(FLimit / 4, 1, 500));
    std::unique_lock lock(FLock);
    while (!FStopping) {
        // Asleep while there is no connection; then a look every interval.
        FWake.wait(lock, [this] { return FStopping || !FEntries.empty(); });
        FWake.wait_for(lock, interval, [this] { return FStopping; });
        const std::int64_t now = TEntry::Now();
        // The lock is held while ending a connection, so its socket cannot be closed (after
        // Remove) and reused meanwhile.
        for (auto& [key, entry] : FEntries) {
            const std::int64_t since = entry->WaitingSince.load(std::memory_order_relaxed);
            if (!entry->Ended && since != 0 && now - since >= FLimit) {
                EndConnection(entry->Socket);
                entry->Ended = true;
            }
        }
    }
}

} // namespace corvane
