#include "platform/LogFile.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

[[noreturn]] void RaiseSystemError() {
    const int code = errno;
    throw SystemError(SystemErrorMessage(code), code);
}

class LockedLog {
public:
    explicit LockedLog(const std::string& path)
        : handle_(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666)) {
        if (handle_ < 0)
            RaiseSystemError();
        while (::flock(handle_, LOCK_EX) != 0)
            if (errno != EINTR) {
                const int code = errno;
                ::close(handle_);
                throw SystemError(SystemErrorMessage(code), code);
            }
    }
    ~LockedLog() { ::close(handle_); }
    LockedLog(const LockedLog&) = delete;
    LockedLog& operator=(const LockedLog&) = delete;

    int Handle() const { return handle_; }

private:
    int handle_;
};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

void AppendToLog(std::string_view path, std::string_view record, std::uint64_t maxBytes) {
    const std::string native = ToNativePath(path);
    const std::string folder = ExtractFilePath(native);
    if (!folder.empty())
        ForceDirectories(folder);
    // Another writer may rotate the file between our open and our lock: then the name leads to
    // a new file, and the record goes there instead. A name that keeps moving (a few tries)
    // gets the record in the file last opened.
    for (int attempt = 1;; ++attempt) {
        const LockedLog log(native);
        struct stat opened {};
        struct stat named {};
        if (::fstat(log.Handle(), &opened) != 0)
            RaiseSystemError();
        const bool moved = ::stat(native.c_str(), &named) != 0 || !SameFile(opened, named);
        if (moved && attempt < 5)
            continue;
        const auto size = static_cast<std::uint64_t>(opened.st_size);
        if (!moved && size > 0 && size + record.size() > maxBytes) {
            if (::rename(native.c_str(), (native + ".1").c_str()) != 0)
                RaiseSystemError();
            continue;
        }
        const char* data = record.data();
        std::size_t left = record.size();
        while (left > 0) {
            const ssize_t written = ::write(log.Handle(), data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written == 0)
                errno = EIO;
            if (written <= 0)
                RaiseSystemError();
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        return;
    }
}

} // namespace corvane
