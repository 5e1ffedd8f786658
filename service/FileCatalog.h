// What the file service knows of its root: the cached listing of the tree and the lookup of
// names without regard to letter case.
#pragma once

#include "platform/ServiceFiles.h"
#include "service/FileMask.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

// The JSON text of one listing answer. The catalog hands the same text to every request that
// asks the same question of the same tree.
struct ListingText {
    std::string json;
    // What the HTTP side makes of the text the first time it sends it, to send it again and
    // again without making it anew; made once, under prepareOnce.
    mutable std::once_flag prepareOnce;
    mutable std::shared_ptr<const void> prepared;
};

struct ListingAnswer {
    int status = 200;
    std::shared_ptr<const ListingText> body; // shared with the cache when Status is 200
};

// One file of the tree as the catalogue knows it.
struct CatalogFile {
    std::string name;     // as listed: relative to the root, backslashes between folders
    std::string upper;    // name upper-cased: what a download is matched by, letter case ignored
    std::string realPath; // the file a download of it sends: absolute, every link resolved
};

// The tree at one moment, for answers written out ahead of time: the listing of the whole tree
// and of the root folder alone (as Listing answers the root with every name), and the files
// a download can reach (in name order).
struct CatalogSnapshot {
    std::shared_ptr<const ListingText> wholeTree;
    std::shared_ptr<const ListingText> rootFolder;
    std::vector<CatalogFile> files;
    std::string realRoot; // the root, every link resolved
};

// Thread-safe: any number of requests may ask at once.
class FileCatalog {
public:
    // Throws DirectoryNotFoundException when root is not a folder. Without contentChecks the
    // files are listed with their names and ages alone, as before listings carried each file's
    // size and hash (and no file is read for its hash). A hash is kept from one walk to the
    // next while the file's stamp is the same, once the file had stood unchanged for settle
    // when it was read; until then it is read again at every walk.
    explicit FileCatalog(std::string_view root, bool contentChecks = true,
                         std::chrono::nanoseconds settle = std::chrono::seconds(1));

    // The folderlist answer: the files under folder (the root for "", "\" or "/") whose
    // names match mask, in that folder only or, with recursive, in all folders beneath it.
    // Status 404 with an error object for a folder that does not exist or leaves the root.
    ListingAnswer Listing(std::string_view folder, std::string_view mask, bool recursive);

    // Opens the file a download asks for, by its name relative to the root, letter case
    // ignored when the name as written names no file. Nothing for a name that leaves the
    // root or names no regular file.
    std::optional<ServedFile> Open(std::string_view name);

    // The tree as it is now, from one walk.
    CatalogSnapshot Snapshot();

    // How many times the tree has been walked; it is walked again only after a change.
    std::uint64_t Walks() const { return walks_.load(); }
    // How many times a file has been read for its hash; once per content.
    std::uint64_t FilesHashed() const { return filesHashed_.load(); }

private:
    struct Index;
    // Makes index_ describe the tree as it is now; lock_ held.
    void Refresh();
    // The listing of an existing folder (its name as on disk); lock_ held.
    std::shared_ptr<const ListingText> FolderListing(const std::string& folder,
                                                     const FileMask& mask, bool recursive);

    ServiceRoot root_;
    const bool contentChecks_;
    const std::chrono::nanoseconds settle_;
    std::mutex lock_;
    std::shared_ptr<Index> index_;
    std::atomic<std::uint64_t> walks_{0};
    std::atomic<std::uint64_t> filesHashed_{0};
};

} // namespace corvane
