// Listing a server folder tree: every file with its age in one pass, a few folders at a time.
#include "platform/FileSystem.h"

#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace corvane {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct FolderId {
    dev_t device;
    ino_t inode;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

struct PendingFolder {
    std::string native;          // native path, ending in '/'
    std::string prefix;          // the names' prefix: root as passed, subfolders, backslashes
    std::vector<FolderId> above; // the folders this one was reached through
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Lists one folder: its files go to files, its subfolders to subfolders. Returns 0, or the
// error that kept the folder from being opened.
int ListFolder(const PendingFolder& folder, std::vector<ListedFile>& files,
               std::vector<PendingFolder>& subfolders) {
    const int fd = ::open(folder.native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    struct stat self {};
    if (::fstat(fd, &self) != 0)
        return errno;
    const FolderId id{self.st_dev, self.st_ino};
    if (std::find(folder.above.begin(), folder.above.end(), id) != folder.above.end())
        return 0; // a link back into a folder above: listing it again would never end

    for (;;) {
        errno = 0; // readdir tells an error from the end of the folder only through errno
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0)
                return errno;
            break;
        }
        const char* name = entry->d_name;
        if (IsDotOrDotDot(name))
            continue;
        unsigned char type = entry->d_type;
        struct statx sx {};
        bool haveStat = false;
        if (type == DT_REG) {
            haveStat =
                ::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MTIME, &sx) == 0;
        } else if (type == DT_LNK || type == DT_UNKNOWN) {
            // Links are followed; the one call tells both the kind and the time.
            if (::statx(fd, name, AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MTIME, &sx) == 0) {
                haveStat = true;
                type = S_ISDIR(sx.stx_mode) ? DT_DIR : S_ISREG(sx.stx_mode) ? DT_REG : 0;
            } else {
                type = DT_REG; // a dangling link: listed, but without an age
            }
        }
        if (type == DT_DIR) {
            PendingFolder child{folder.native + name + '/', folder.prefix + name + '\\',
                                folder.above};
            child.above.push_back(id);
            subfolders.push_back(std::move(child));
        } else if (type == DT_REG) {
            // Pipes, sockets and devices are not files to copy: reading a pipe would wait for
            // a writer that never comes.
            ListedFile file;
            file.fileName = folder.prefix + name;
            if (haveStat)
                file.age = AgeFromFileTime({sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec});
            files.push_back(std::move(file));
        }
    }
    return 0;
}

// A subfolder that vanished or was replaced by a file while the tree was listed holds nothing
// to fetch any more; any other failure hides files that are still there.
bool HidesFiles(int error) {
    return error != 0 && error != ENOENT && error != ENOTDIR;
}

UnreadFolder DescribeUnreadFolder(const PendingFolder& folder, int error) {
    std::string name = folder.prefix;
    if (!name.empty() && name.back() == '\\')
        name.pop_back();
    return {std::move(name), error, SystemErrorMessage(error)};
}

// The subfolders below the root are listed by a few threads at once: a server folder is a
// network share as a rule, where each file's metadata costs a round trip.
constexpr int kListingThreads = 4;

class ParallelWalk {
public:
    explicit ParallelWalk(std::vector<PendingFolder> pending) : pending_(std::move(pending)) {}

    // Lists every pending folder and everything below it; called by each thread of the walk.
    void Work(std::vector<ListedFile>& files) {
        std::vector<PendingFolder> subfolders;
        std::unique_lock lock(lock_);
        for (;;) {
            changed_.wait(lock, [this] { return !pending_.empty() || busy_ == 0 || error_; });
            if (error_ || pending_.empty())
                return; // nothing pending and nobody busy: nothing more will come
            PendingFolder folder = std::move(pending_.back());
            pending_.pop_back();
            ++busy_;
            lock.unlock();
            try {
                const int error = ListFolder(folder, files, subfolders);
                lock.lock();
                if (HidesFiles(error))
                    unread_.push_back(DescribeUnreadFolder(folder, error));
                pending_.insert(pending_.end(), std::make_move_iterator(subfolders.begin()),
                                std::make_move_iterator(subfolders.end()));
            } catch (...) {
                if (!lock.owns_lock())
                    lock.lock();
                error_ = std::current_exception();
            }
            subfolders.clear();
            --busy_;
            changed_.notify_all();
        }
    }

    std::exception_ptr Error() const { return error_; }
    // Once every thread of the walk has returned.
    std::vector<UnreadFolder>& Unread() { return unread_; }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<PendingFolder> pending_;
    int busy_ = 0;
    std::exception_ptr error_;
    std::vector<UnreadFolder> unread_;
};

} // namespace

std::vector<ListedFile> ListFilesWithAges(std::string_view root) {
    std::vector<UnreadFolder> unreadFolders;
    return ListFilesWithAges(root, unreadFolders);
}

std::vector<ListedFile> ListFilesWithAges(std::string_view root,
                                          std::vector<UnreadFolder>& unreadFolders) {
    unreadFolders.clear();
    CheckPathChars(root);
    if (Utf16Length(root) >= kMaxListingRootLength)
        throw PathTooLongException("The specified path is too long");
    if (root.empty())
        throw DirectoryNotFoundException("The specified path was not found");

    std::string rootNative = ToNativePath(root);
    if (rootNative.back() != '/')
        rootNative += '/';

    std::vector<ListedFile> files;
    std::vector<PendingFolder> subfolders;
    if (const int error = ListFolder({rootNative, std::string(root), {}}, files, subfolders)) {
        if (error == ENOENT || error == ENOTDIR)
            throw DirectoryNotFoundException("The specified path was not found");
        if (error == ENAMETOOLONG)
            throw PathTooLongException("The specified path is too long");
        throw SystemError(SystemErrorMessage(error), error);
    }

    if (!subfolders.empty()) {
        ParallelWalk walk(std::move(subfolders));
        std::vector<std::vector<ListedFile>> found(kListingThreads);
        {
            std::vector<std::jthread> helpers;
            for (int i = 1; i < kListingThreads; ++i) {
                try {
                    helpers.emplace_back(
                        [&walk, &part = found[static_cast<size_t>(i)]] { walk.Work(part); });
                } catch (const std::system_error&) {
                    break; // no thread to spare: fewer threads list the same tree
                }
            }
            walk.Work(found[0]);
        } // the helpers are joined here
        if (walk.Error())
            std::rethrow_exception(walk.Error());
        for (auto& part : found)
            files.insert(files.end(), std::make_move_iterator(part.begin()),
                         std::make_move_iterator(part.end()));
        unreadFolders = std::move(walk.Unread());
        std::sort(unreadFolders.begin(), unreadFolders.end(),
                  [](const UnreadFolder& x, const UnreadFolder& y) {
                      return OrdinalLess(x.folderName, y.folderName);
                  });
    }

    // Every name begins with the root: comparing what follows it gives the same order.
    const size_t rootLength = root.size();
    std::sort(files.begin(), files.end(), [rootLength](const ListedFile& x, const ListedFile& y) {
        return OrdinalLess(std::string_view(x.fileName).substr(rootLength),
                           std::string_view(y.fileName).substr(rootLength));
    });
    return files;
}

} // namespace corvane
