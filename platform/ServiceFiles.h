// The file system as the file service sees it: one root folder, walked, watched for changes
// and opened without ever leaving it.
//
//     ServiceRoot root("/srv/corvane");
//     if (root.Generation() != listed) entries = root.Walk(); // only when something changed
//     std::optional<ServedFile> file = root.OpenFile("Relatorio\\Layout01.rav");
#pragma once

#include "platform/DateTime.h"
#include "platform/Handles.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Which file of the system a name leads to, whatever name it was reached by: links and other
// names of one file give the same identity (a device and an inode on POSIX; a volume serial
// number and a file index on Windows).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// What tells one content of a file from another: writing, cutting, replacing or stamping the
// file changes it, so a value computed from the content stays good while the stamp is equal.
struct ContentStamp {
    FileIdentity file;
    std::int64_t changeSeconds = 0; // the last change of the file's content or attributes,
                                    // in seconds since 1970-01-01 UTC
    std::int64_t changeNanoseconds = 0;
    std::uint64_t size = 0;
    friend bool operator==(const ContentStamp&, const ContentStamp&) = default;
};

// Whether the change the stamp records lies settle or more in the past. Until then another
// change within the same tick of the system's clock could leave the stamp as it is, so values
// taken from the content are not to be trusted for as long as the stamp stays equal.
inline bool StampSettled(const ContentStamp& stamp, std::chrono::nanoseconds settle) {
    const std::chrono::nanoseconds changed = std::chrono::seconds(stamp.changeSeconds) +
                                             std::chrono::nanoseconds(stamp.changeNanoseconds);
    return changed + settle <= std::chrono::system_clock::now().time_since_epoch();
}

// One file or folder under the root. Name is relative to the root, folders separated by
// backslashes, with no leading backslash.
struct ServedEntry {
    std::string name;
    bool isFolder = false;
    DateTime age = 0.0; // local last-write time, to the millisecond (files only)
    ContentStamp stamp; // files only
};

// An open regular file ready to be served; closes its handle unless it was released.
class ServedFile {
public:
    ServedFile(FileHandle handle, const ContentStamp& stamp) : handle_(handle), opened_(stamp) {}
    ServedFile(ServedFile&& other) noexcept;
    ServedFile& operator=(ServedFile&& other) noexcept;
    ServedFile(const ServedFile&) = delete;
    ServedFile& operator=(const ServedFile&) = delete;
    ~ServedFile();

    FileHandle Handle() const { return handle_; }
    std::uint64_t Size() const { return opened_.size; }
    // The stamp of the content the file had when it was opened.
    const ContentStamp& OpenedStamp() const { return opened_; }
    // Hands the handle over to a new owner, who closes it.
    FileHandle Release();
    // A second handle on the same open file (nothing when none can be had).
    std::optional<ServedFile> Duplicate() const;
    // The file's length now; it may have been cut short since it was opened.
    std::uint64_t CurrentSize() const {
        const std::optional<ContentStamp> now = Stamp();
        return now ? now->size : 0;
    }
    // The stamp of the file's content now (nothing when it cannot be read).
    std::optional<ContentStamp> Stamp() const;
    // Reads the file from its start to its end, handing the bytes to sink as they are read.
    // False when a read fails.
    bool ReadFromStart(const std::function<void(const char* data, std::size_t size)>& sink) const;

private:
    FileHandle handle_ = FileHandle::None;
    ContentStamp opened_;
};

// The root folder of the file service.
//
// Generation and Walk are to be called by one thread at a time (the service serialises its
// catalogue); OpenFile may be called from any number of threads at once.
class ServiceRoot {
public:
    // Throws DirectoryNotFoundException when root is not a folder.
    explicit ServiceRoot(std::string_view root);
    ~ServiceRoot();
    ServiceRoot(const ServiceRoot&) = delete;
    ServiceRoot& operator=(const ServiceRoot&) = delete;

    const std::string& Path() const { return path_; }
    // The root with every link on its way resolved.
    const std::string& RealPath() const { return realPath_; }

    // A number that stays the same for as long as nothing under the root changed (files or
    // folders created, deleted, renamed, written or stamped) since the last Walk. Without a
    // working change notification it is new on every call, so nothing is ever taken as
    // unchanged.
    std::uint64_t Generation();

    // Every regular file and folder under the root, sorted by name. Links are listed only
    // when they end at a regular file beneath the root; linked folders are not entered.
    // Names that cannot travel as the service's relative names (not UTF-8, or holding a
    // backslash) are left out.
    std::vector<ServedEntry> Walk();

    // Opens the regular file named relative to the root (separators '\' or '/'). Nothing
    // is opened when the name, or a link on its way, leads out of the root, or when it
    // names no regular file.
    std::optional<ServedFile> OpenFile(std::string_view relativeName) const;

    // The absolute path, every link resolved, of the regular file that OpenFile would open for
    // the name now; nothing where OpenFile would open nothing.
    std::optional<std::string> ResolvedPath(std::string_view relativeName) const;

private:
    // The open root and the system's notification of changes beneath it, as the system keeps
    // them.
    struct Native;

    std::string path_;
    std::string realPath_; // the root with every link resolved
    std::unique_ptr<Native> native_;
    std::uint64_t generation_ = 1;
};

} // namespace corvane
