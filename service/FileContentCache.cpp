#include "service/FileContentCache.h"

#include <algorithm>

namespace corvane {

FileContentCache::FileContentCache(std::size_t budgetBytes, std::size_t largestFile,
                                   std::chrono::nanoseconds settle, Prepare prepare)
    : budget_(budgetBytes), largest_(std::min(largestFile, budgetBytes)), settle_(settle),
      prepare_(std::move(prepare)) {}

std::optional<FileContentCache::Content> FileContentCache::Find(const ServedFile& file) {
    const ContentStamp& stamp = file.OpenedStamp();
    if (stamp.size > largest_ || stamp.size == 0)
        return std::nullopt;
    const Key key = stamp.file;
    {
        std::lock_guard guard(lock_);
        const auto found = held_.find(key);
        if (found != held_.end()) {
            if (found->second.stamp == stamp) {
                recent_.splice(recent_.begin(), recent_, found->second.recent);
                return Content{found->second.prepared, stamp.size};
            }
            Forget(found); // the file changed since
        }
        // One request reads a content; those that ask for it meanwhile are sent the file from
        // disk, rather than each reading it again (a crowd asks for the same files at once).
        if (!StampSettled(stamp, settle_) || !reading_.insert(key).second)
            return std::nullopt;
    }
    struct ReadingDone {
        FileContentCache& cache;
        Key key;
        ~ReadingDone() {
            std::lock_guard guard(cache.lock_);
            cache.reading_.erase(key);
        }
    } readingDone{*this, key};

    // Read outside the lock; the stamp taken again afterwards proves the bytes are one content.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(stamp.size));
    const bool read = file.ReadFromStart([&](const char* data, std::size_t size) {
        if (bytes.size() + size <= stamp.size)
            bytes.append(data, size);
        else
            bytes.resize(static_cast<std::size_t>(stamp.size) + 1); // grew: not this content
    });
    if (!read || bytes.size() != stamp.size || file.Stamp() != std::optional(stamp))
        return std::nullopt;
    Prepared prepared = prepare_(std::move(bytes));
    if (!prepared)
        return std::nullopt;

    // Nothing was kept for the key meanwhile: only the request reading a content keeps it.
    std::lock_guard guard(lock_);
    recent_.push_front(key);
    held_.emplace(key, Held{stamp, prepared, recent_.begin()});
    heldBytes_ += static_cast<std::size_t>(stamp.size);
    while (heldBytes_ > budget_ && recent_.size() > 1)
        Forget(held_.find(recent_.back()));
    return Content{std::move(prepared), stamp.size};
}

void FileContentCache::Forget(std::map<Key, Held>::iterator held) {
    heldBytes_ -= static_cast<std::size_t>(held->second.stamp.size);
    recent_.erase(held->second.recent);
    held_.erase(held);
}

std::size_t FileContentCache::HeldBytes() const {
    std::lock_guard guard(lock_);
    return heldBytes_;
}

} // namespace corvane
