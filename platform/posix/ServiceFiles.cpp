#include "platform/ServiceFiles.h"

#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/Unicode.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace corvane {

namespace {

// Every change that can alter a listing: names appearing or going, contents written, times
// stamped, and the watched folder itself going away.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF |
                                     IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

std::atomic<bool> noOpenat2{false};

void CloseHandle(int handle) {
    if (handle >= 0)
        ::close(handle);
}

int DescriptorOf(FileHandle handle) {
    return static_cast<int>(handle);
}

// The kernel's own "stay beneath this folder" lookup, race-free against links swapped in
// while the name is being resolved. Returns -1 with errno ENOSYS on kernels without it.
int OpenBeneathKernel(int rootHandle, const std::string& native, int flags) {
    struct open_how how {};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long handle = ::syscall(SYS_openat2, rootHandle, native.c_str(), &how, sizeof how);
        if (handle >= 0 || errno != EINTR)
            return static_cast<int>(handle);
    }
}

// The same check for kernels without openat2: resolve every link, then insist the result
// lies under the resolved root.
int OpenBeneathByRealPath(const std::string& root, const std::string& realRoot,
                          const std::string& native, int flags) {
    const std::string joined = root + '/' + native;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(joined.c_str(), nullptr),
                                                     &std::free);
    if (!real)
        return -1;
    const std::string_view resolved(real.get());
    if (resolved.size() <= realRoot.size() || resolved.compare(0, realRoot.size(), realRoot) != 0 ||
        (realRoot != "/" && resolved[realRoot.size()] != '/')) {
        errno = EXDEV;
        return -1;
    }
    return ::open(real.get(), flags | O_NOFOLLOW);
}

int OpenBeneath(int rootHandle, const std::string& root, const std::string& realRoot,
                const std::string& native, int flags) {
    if (!noOpenat2.load(std::memory_order_relaxed)) {
        const int handle = OpenBeneathKernel(rootHandle, native, flags);
        if (handle >= 0 || errno != ENOSYS)
            return handle;
        noOpenat2.store(true, std::memory_order_relaxed);
    }
    return OpenBeneathByRealPath(root, realRoot, native, flags);
}

// A name the service can hand out: valid UTF-8 (JSON text) and free of backslashes, which
// separate folders in the service's names.
bool IsListableName(std::string_view name) {
    return name.find('\\') == std::string_view::npos && IsValidUtf8(name);
}

ContentStamp StampOf(const struct stat& st) {
    return ContentStamp{
        FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
        st.st_ctim.tv_sec, st.st_ctim.tv_nsec, static_cast<std::uint64_t>(st.st_size)};
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

// The root's descriptor and the inotify queue that watches every folder of the tree, one watch
// per folder (inotify does not watch a tree as a whole).
struct ServiceRoot::Native {
    int rootHandle = -1;
    int notify = -1;
    bool watching = false;
    std::unordered_set<int> watches; // the folders' watches as of the last walk

    ~Native() {
        CloseHandle(notify);
        CloseHandle(rootHandle);
    }
    void WatchFolder(const std::string& nativePath, std::unordered_set<int>& seen);
};

ServedFile::ServedFile(ServedFile&& other) noexcept
    : handle_(std::exchange(other.handle_, FileHandle::None)), opened_(other.opened_) {}

ServedFile& ServedFile::operator=(ServedFile&& other) noexcept {
    if (this != &other) {
        CloseHandle(DescriptorOf(handle_));
        handle_ = std::exchange(other.handle_, FileHandle::None);
        opened_ = other.opened_;
    }
    return *this;
}

ServedFile::~ServedFile() {
    CloseHandle(DescriptorOf(handle_));
}

FileHandle ServedFile::Release() {
    return std::exchange(handle_, FileHandle::None);
}

std::optional<ServedFile> ServedFile::Duplicate() const {
    const int copy = ::fcntl(DescriptorOf(handle_), F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return std::nullopt;
    return ServedFile(FileHandle{copy}, opened_);
}

std::optional<ContentStamp> ServedFile::Stamp() const {
    struct stat st {};
    if (::fstat(DescriptorOf(handle_), &st) != 0)
        return std::nullopt;
    return StampOf(st);
}

bool ServedFile::ReadFromStart(
    const std::function<void(const char* data, std::size_t size)>& sink) const {
    std::vector<char> buffer(std::size_t{1} << 18);
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(DescriptorOf(handle_), buffer.data(), buffer.size(), offset);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        sink(buffer.data(), static_cast<std::size_t>(got));
        offset += got;
    }
}

ServiceRoot::ServiceRoot(std::string_view root)
    : path_(ToNativePath(root)), native_(std::make_unique<Native>()) {
    while (path_.size() > 1 && path_.back() == '/')
        path_.pop_back();
    native_->rootHandle = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (native_->rootHandle < 0)
        throw DirectoryNotFoundException("The specified path was not found");
    char real[PATH_MAX];
    realPath_ = ::realpath(path_.c_str(), real) != nullptr ? std::string(real) : path_;
    native_->notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    native_->watching = native_->notify >= 0;
}

ServiceRoot::~ServiceRoot() = default;

std::uint64_t ServiceRoot::Generation() {
    if (!native_->watching)
        return ++generation_;
    // The kernel queues an event before the call that caused it returns, so draining the
    // queue here sees every change made before this request arrived.
    alignas(struct inotify_event) char buffer[16384];
    bool changed = false;
    for (;;) {
        const ssize_t got = ::read(native_->notify, buffer, sizeof buffer);
        if (got > 0) {
            // A watch we removed ourselves reports IN_IGNORED: that is no change of the tree.
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                if ((event->mask & IN_IGNORED) == 0 || (event->mask & ~IN_IGNORED) != 0)
                    changed = true;
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN) {
            native_->watching = false; // the queue is broken: stop trusting it
            changed = true;
        }
        break;
    }
    if (changed)
        ++generation_;
    return generation_;
}

void ServiceRoot::Native::WatchFolder(const std::string& nativePath,
                                      std::unordered_set<int>& seen) {
    if (!watching)
        return;
    const int wd = ::inotify_add_watch(notify, nativePath.c_str(), kWatchMask);
    if (wd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return;       // gone since it was read: its parent's watch saw that
        watching = false; // out of watches: every request walks again, still correct
        return;
    }
    seen.insert(wd);
}

std::vector<ServedEntry> ServiceRoot::Walk() {
    std::vector<ServedEntry> entries;
    std::unordered_set<int> seen;
    // Folders still to read: native relative path ("" for the root) and service name.
    std::vector<std::pair<std::string, std::string>> pending{{std::string(), std::string()}};
    while (!pending.empty()) {
        auto [native, name] = std::move(pending.back());
        pending.pop_back();
        const int handle = ::openat(native_->rootHandle, native.empty() ? "." : native.c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (handle < 0)
            continue; // removed or replaced while walking: the watch reports it
        // Watch before reading, so a change made after the read is never missed.
        native_->WatchFolder(native.empty() ? path_ : path_ + '/' + native, seen);
        std::unique_ptr<DIR, DirCloser> dir(::fdopendir(handle));
        if (!dir) {
            ::close(handle);
            continue;
        }
        const int dirHandle = ::dirfd(dir.get());
        while (const dirent* item = ::readdir(dir.get())) {
            const std::string_view leaf(item->d_name);
            if (leaf == "." || leaf == ".." || !IsListableName(leaf))
                continue;
            std::string childNative =
                native.empty() ? std::string(leaf) : native + '/' + item->d_name;
            std::string childName = name.empty() ? std::string(leaf) : name + '\\' + item->d_name;
            struct stat st {};
            if (::fstatat(dirHandle, item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                entries.push_back({childName, true, 0.0, {}});
                pending.emplace_back(std::move(childNative), std::move(childName));
                continue;
            }
            if (S_ISLNK(st.st_mode)) {
                const int target = OpenBeneath(native_->rootHandle, path_, realPath_, childNative,
                                               O_PATH | O_CLOEXEC);
                if (target < 0)
                    continue;
                const bool ok = ::fstat(target, &st) == 0;
                ::close(target);
                if (!ok)
                    continue;
            }
            if (!S_ISREG(st.st_mode))
                continue;
            if (const auto age = AgeFromFileTime({st.st_mtim.tv_sec, st.st_mtim.tv_nsec}))
                entries.push_back({std::move(childName), false, *age, StampOf(st)});
        }
    }
    if (native_->watching) {
        for (const int wd : native_->watches)
            if (!seen.count(wd))
                ::inotify_rm_watch(native_->notify, wd);
        native_->watches = std::move(seen);
    }
    std::sort(entries.begin(), entries.end(),
              [](const ServedEntry& a, const ServedEntry& b) { return a.name < b.name; });
    return entries;
}

std::optional<ServedFile> ServiceRoot::OpenFile(std::string_view relativeName) const {
    const std::string native = ToNativePath(relativeName);
    if (native.empty() || native.find('\0') != std::string::npos)
        return std::nullopt;
    // Non-blocking, so that a pipe placed under the root cannot hold the request.
    const int handle = OpenBeneath(native_->rootHandle, path_, realPath_, native,
                                   O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (handle < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(handle, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(handle);
        return std::nullopt;
    }
    return ServedFile(FileHandle{handle}, StampOf(st));
}

std::optional<std::string> ServiceRoot::ResolvedPath(std::string_view relativeName) const {
    const std::string native = ToNativePath(relativeName);
    if (native.empty() || native.find('\0') != std::string::npos)
        return std::nullopt;
    // The kernel's name of what the checked open reached is the path with every link resolved.
    const int handle =
        OpenBeneath(native_->rootHandle, path_, realPath_, native, O_PATH | O_CLOEXEC);
    if (handle < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> resolved;
    if (::fstat(handle, &st) == 0 && S_ISREG(st.st_mode)) {
        const std::string link = "/proc/self/fd/" + std::to_string(handle);
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
        if (length > 0 && static_cast<size_t>(length) < sizeof target) {
            resolved = std::string(target, static_cast<size_t>(length));
        } else if (::realpath((path_ + '/' + native).c_str(), target) != nullptr) {
            // Without /proc: the same name by resolving the links, if it still lies beneath.
            const std::string_view path(target);
            if (path.size() > realPath_.size() &&
                path.compare(0, realPath_.size(), realPath_) == 0 &&
                (realPath_ == "/" || path[realPath_.size()] == '/'))
                resolved = std::string(path);
        }
    }
    ::close(handle);
    return resolved;
}

} // namespace corvane
