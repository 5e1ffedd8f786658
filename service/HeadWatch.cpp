#include "service/HeadWatch.h"

#include "platform/ServiceSockets.h"

#include <algorithm>
#include <vector>

namespace corvane {

std::int64_t HeadWatch::Entry::Now() {
    // Never 0, which means "not waiting".
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() |
           1;
}

HeadWatch::HeadWatch(std::chrono::milliseconds limit)
    : limit_(std::max<std::int64_t>(limit.count(), 1)), thread_([this] { Run(); }) {}

HeadWatch::~HeadWatch() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

HeadWatch::Entry& HeadWatch::Add(SocketHandle socket) {
    auto entry = std::make_unique<Entry>(socket);
    Entry& added = *entry;
    bool first = false;
    {
        std::lock_guard lock(lock_);
        first = entries_.empty();
        entries_.emplace(&added, std::move(entry));
    }
    if (first)
        wake_.notify_all();
    return added;
}

void HeadWatch::Remove(Entry& entry) {
    std::unique_ptr<Entry> removed; // freed outside the lock
    std::lock_guard lock(lock_);
    const auto found = entries_.find(&entry);
    if (found != entries_.end()) {
        removed = std::move(found->second);
        entries_.erase(found);
    }
}

void HeadWatch::Run() {
    // A late head waits at most this much longer than the limit.
    const auto interval = std::chrono::milliseconds(std::clamp<std::int64_t>(limit_ / 4, 1, 500));
    std::unique_lock lock(lock_);
    while (!stopping_) {
        // Asleep while there is no connection; then a look every interval.
        wake_.wait(lock, [this] { return stopping_ || !entries_.empty(); });
        wake_.wait_for(lock, interval, [this] { return stopping_; });
        const std::int64_t now = Entry::Now();
        // The lock is held while ending a connection, so its socket cannot be closed (after
        // Remove) and reused meanwhile.
        for (auto& [key, entry] : entries_) {
            const std::int64_t since = entry->waitingSince_.load(std::memory_order_relaxed);
            if (!entry->ended_ && since != 0 && now - since >= limit_) {
                EndConnection(entry->socket_);
                entry->ended_ = true;
            }
        }
    }
}

} // namespace corvane
