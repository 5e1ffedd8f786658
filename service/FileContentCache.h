// Keeps in memory, ready to be sent, the contents of the small files that every workstation
// fetches every morning (the shared files and the small modules). An answer from memory goes
// out in as few turns as each socket's buffer takes, where a file sent from disk goes to the
// kernel 128 KiB at a time; and the disk is read once per content instead of once per
// workstation.
//
//     FileContentCache cache(64 << 20, 4 << 20, [](std::string bytes) { return MakeAnswer(...); });
//     if (auto content = cache.Find(openFile)) send(content->prepared);
//     else send the file from disk;
//
// A content is kept while its file's stamp stays the same, and held bytes never pass the budget:
// the contents asked for least recently go first. Memory stays flat in the size of the served
// files, as larger files are never kept.
#pragma once

#include "platform/ServiceFiles.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace corvane {

class FileContentCache {
public:
    // What is kept for one content, made once from its bytes: the service keeps a ready answer
    // that owns them.
    using Prepared = std::shared_ptr<const void>;
    using Prepare = std::function<Prepared(std::string bytes)>;

    struct Content {
        Prepared prepared;
        std::uint64_t size = 0;
    };

    // A budget of 0 keeps nothing. A file changed less than settle ago is not kept: a later
    // change within the same tick of the system's clock would leave its stamp as it is.
    FileContentCache(std::size_t budgetBytes, std::size_t largestFile,
                     std::chrono::nanoseconds settle, Prepare prepare);

    // The prepared content of the open file as it was opened, kept or read now. Nothing for a file
    // larger than the largest kept, one that changed while it was read or could not be read, or
    // one that another request is reading now: such a file is to be sent from disk.
    std::optional<Content> Find(const ServedFile& file);

    // Bytes of content held now.
    std::size_t HeldBytes() const;

private:
    using Key = FileIdentity;
    struct Held {
        ContentStamp stamp;
        Prepared prepared;
        std::list<Key>::iterator recent;
    };

    void Forget(std::map<Key, Held>::iterator held); // with lock_ held

    const std::size_t budget_;
    const std::size_t largest_;
    const std::chrono::nanoseconds settle_;
    const Prepare prepare_;
    mutable std::mutex lock_;
    std::map<Key, Held> held_;
    std::set<Key> reading_; // contents being read by a request now
    std::list<Key> recent_; // most recently asked for first
    std::size_t heldBytes_ = 0;
};

} // namespace corvane
