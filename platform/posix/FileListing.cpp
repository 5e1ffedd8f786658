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

struct TFolderId {
    dev_t Device;
    ino_t Inode;
    friend bool operator==(const TFolderId&, const TFolderId&) = default;
};

struct TPendingFolder {
    std::string Native;           // native path, ending in '/'
    std::string Prefix;           // the names' prefix: root as passed, subfolders, backslashes
    std::vector<TFolderId> Above; // the folders this one was reached through
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Lists one folder: its files go to files, its subfolders to subfolders. Returns 0, or the
// error that kept the folder from being opened.
int ListFolder(const TPendingFolder& folder, std::vector<TListedFile>& files,
               std::vector<TPendingFolder>& subfolders) {
    const int fd = ::open(folder.Native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    const TFolderId id{self.st_dev, self.st_ino};
    if (std::find(folder.Above.begin(), folder.Above.end(), id) != folder.Above.end())
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
            TPendingFolder child{folder.Native + name + '/', folder.Prefix + name + '\\',
                                 folder.Above};
            child.Above.push_back(id);
            subfolders.push_back(std::move(child));
        } else if (type == DT_REG) {
            // Pipes, sockets and devices are not files to copy: reading a pipe would wait for
            // a writer that never comes.
            TListedFile file;
            file.FileName = folder.Prefix + name;
            if (haveStat)
                file.Age = AgeFromFileTime({sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec});
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

TUnreadFolder DescribeUnreadFolder(const TPendingFolder& folder, int error) {
    std::string name = folder.Prefix;
    if (!name.empty() && name.back() == '\\')
        name.pop_back();
    return {std::move(name), error, SystemErrorMessage(error)};
}

// The subfolders below the root are listed by a few threads at once: a server folder is a
// network share as a rule, where each file's metadata costs a round trip.
constexpr int ListingThreads = 4;

class TParallelWalk {
public:
    explicit TParallelWalk(std::vector<TPendingFolder> pending) : FPending(std::move(pending)) {}

    // Lists every pending folder and everything below it; called by each thread of the walk.
    void Work(std::vector<TListedFile>& files) {
        std::vector<TPendingFolder> subfolders;
        std::unique_lock lock(FLock);
        for (;;) {
            FChanged.wait(lock, [this] { return !FPending.empty() || FBusy == 0 || FError; });
            if (FError || FPending.empty())
                return; // nothing pending and nobody busy: nothing more will come
            TPendingFolder folder = std::move(FPending.back());
            FPending.pop_back();
            ++FBusy;
            lock.unlock();
            try {
                const int error = ListFolder(folder, files, subfolders);
                lock.lock();
                if (HidesFiles(error))
                    FUnread.push_back(DescribeUnreadFolder(folder, error));
                FPending.insert(FPending.end(), std::make_move_iterator(subfolders.begin()),
                                std::make_move_iterator(subfolders.end()));
            } catch (...) {
                if (!lock.owns_lock())
                    lock.lock();
                FError = std::current_exception();
            }
            subfolders.clear();
            --FBusy;
            FChanged.notify_all();
        }
    }

    std::exception_ptr Error() const { return FError; }
    // Once every thread of the walk has returned.
    std::vector<TUnreadFolder>& Unread() { return FUnread; }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<TPendingFolder> FPending;
    int FBusy = 0;
    std::exception_ptr FError;
    std::vector<TUnreadFolder> FUnread;
};

} // namespace

std::vector<TListedFile> ListFilesWithAges(std::string_view root) {
    std::vector<TUnreadFolder> unreadFolders;
    return ListFilesWithAges(root, unreadFolders);
}

std::vector<TListedFile> ListFilesWithAges(std::string_view root,
                                           std::vector<TUnreadFolder>& unreadFolders) {
    unreadFolders.clear();
    CheckPathChars(root);
    if (Utf16Length(root) >= MaxListingRootLength)
        throw EPathTooLongException("The specified path is too long");
    if (root.empty())
        throw EDirectoryNotFoundException("The specified path was not found");

    std::string rootNative = ToNativePath(root);
    if (rootNative.back() != '/')
        rootNative += '/';

    std::vector<TListedFile> files;
    std::vector<TPendingFolder> subfolders;
    if (const int error = ListFolder({rootNative, std::string(root), {}}, files, subfolders)) {
        if (error == ENOENT || error == ENOTDIR)
            throw EDirectoryNotFoundException("The specified path was not found");
        if (error == ENAMETOOLONG)
            throw EPathTooLongException("The specified path is too long");
        throw EOSError(SystemErrorMessage(error), error);
    }

    if (!subfolders.empty()) {
        TParallelWalk walk(std::move(subfolders));
        std::vector<std::vector<TListedFile>> found(ListingThreads);
        {
            std::vector<std::jthread> helpers;
            for (int i = 1; i < ListingThreads; ++i) {
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
                  [](const TUnreadFolder& x, const TUnreadFolder& y) {
                      return OrdinalLess(x.FolderName, y.FolderName);
                  });
    }

    // Every name begins with the root: comparing what follows it gives the same order.
    const size_t rootLength = root.size();
    std::sort(files.begin(), files.end(), [rootLength](const TListedFile& x, const TListedFile& y) {
        return OrdinalLess(std::string_view(x.FileName).substr(rootLength),
                           std::string_view(y.FileName).substr(rootLength));
    });
    return files;
}

} // namespace corvane
