// The copy that replaces its target only once the new file is complete and stamped.
#include "platform/FileSystem.h"

#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/posix/NativeFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <optional>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

bool SameFileState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ino == b.st_ino;
}

} // namespace

ReplacementFile::ReplacementFile(std::string_view target, unsigned permissions)
    : target_(posix::NativeOf(target)) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary_ = posix::TemporaryNameBeside(target_);
        handle_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                         static_cast<mode_t>(permissions & 0777));
        if (handle_ >= 0)
            return;
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    temporary_.clear();
    posix::ThrowSystemError(error);
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

void ReplacementFile::Discard() noexcept {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

void ReplacementFile::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(handle_, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            posix::ThrowSystemError(errno);
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

std::size_t ReplacementFile::CopyFrom(int sourceHandle) {
    constexpr size_t chunk = size_t{1} << 30;
    std::size_t total = 0;
    // The kernel's copy first; a pair of file systems it cannot join falls back to sendfile,
    // and a source sendfile cannot read to plain reads and writes.
    enum { KernelCopy, SendFile, ReadWrite } method = KernelCopy;
    for (;;) {
        ssize_t copied = 0;
        if (method == KernelCopy) {
            copied = ::copy_file_range(sourceHandle, nullptr, handle_, nullptr, chunk, 0);
            if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                               errno == EOPNOTSUPP || errno == EBADF)) {
                method = SendFile;
                continue;
            }
        } else if (method == SendFile) {
            copied = ::sendfile(handle_, sourceHandle, nullptr, chunk);
            if (copied < 0 && (errno == EINVAL || errno == ENOSYS)) {
                method = ReadWrite;
                continue;
            }
        } else {
            char buffer[1 << 16];
            copied = ::read(sourceHandle, buffer, sizeof buffer);
            if (copied > 0)
                Write(buffer, static_cast<size_t>(copied));
        }
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            posix::ThrowSystemError(errno);
        }
        if (copied == 0)
            return total;
        total += static_cast<std::size_t>(copied);
    }
}

void ReplacementFile::Commit(DateTime age) {
    const std::optional<FileTime> time = FileTimeFromAge(age);
    if (!time)
        posix::ThrowSystemError(errno != 0 ? errno : EINVAL);
    if (posix::StampLastWrite(handle_, nullptr, *time) != 0)
        posix::ThrowSystemError(errno);
    // close reports write errors some file systems (network shares) keep until then.
    const int handle = handle_;
    handle_ = -1;
    if (::close(handle) != 0 && errno != EINTR)
        posix::ThrowSystemError(errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        posix::ThrowSystemError(errno);
    committed_ = true;
}

void CopyFileReplacing(std::string_view source, std::string_view target, DateTime age) {
    for (const std::string_view path : {source, target}) {
        CheckPathLength(path);
        CheckPathChars(path);
    }
    // O_NONBLOCK: a pipe put in the source's place must not stall the copy; regular files
    // ignore it.
    const posix::FileHandle input(
        ::open(posix::NativeOf(source).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (input.Get() < 0)
        posix::ThrowSystemError(errno);
    struct stat before {};
    if (::fstat(input.Get(), &before) != 0)
        posix::ThrowSystemError(errno);
    if (S_ISDIR(before.st_mode))
        posix::ThrowSystemError(EISDIR);
    if (!S_ISREG(before.st_mode))
        posix::ThrowSystemError(EINVAL);

    ReplacementFile output(target, before.st_mode & 0777);
    const std::size_t copied = output.CopyFrom(input.Get());
    struct stat after {};
    if (::fstat(input.Get(), &after) != 0)
        posix::ThrowSystemError(errno);
    if (!SameFileState(before, after) || copied != static_cast<std::size_t>(before.st_size))
        throw Exception("The file changed while it was being copied");
    output.Commit(age);
}

} // namespace corvane
