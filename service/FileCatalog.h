// What the file service knows of its root: the cached listing of the tree and the lookup of
// names without regard to letter case.
#pragma once

#include "platform/ServiceFiles.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

struct TListingAnswer {
    int Status = 200;
    std::shared_ptr<const std::string> Body; // the JSON text, shared with the cache
};

// Thread-safe: any number of requests may ask at once.
class TFileCatalog {
public:
    // Throws EDirectoryNotFoundException when root is not a folder.
    explicit TFileCatalog(std::string_view root);

    // The folderlist answer: the files under folder (the root for "", "\" or "/") whose
    // names match mask, in that folder only or, with recursive, in all folders beneath it.
    // Status 404 with an error object for a folder that does not exist or leaves the root.
    TListingAnswer Listing(std::string_view folder, std::string_view mask, bool recursive);

    // Opens the file a download asks for, by its name relative to the root, letter case
    // ignored when the name as written names no file. Nothing for a name that leaves the
    // root or names no regular file.
    std::optional<TServedFile> Open(std::string_view name);

    // How many times the tree has been walked; it is walked again only after a change.
    std::uint64_t Walks() const { return FWalks.load(); }
    // How many times a file has been read for its hash; once per content.
    std::uint64_t FilesHashed() const { return filesHashed_.load(); }

private:
    struct TIndex;
    // Makes FIndex describe the tree as it is now; FLock held.
    void Refresh();

    TServiceRoot FRoot;
    std::mutex FLock;
    std::shared_ptr<TIndex> FIndex;
    std::atomic<std::uint64_t> FWalks{0};
    std::atomic<std::uint64_t> filesHashed_{0};
};

} // namespace corvane
