// Streams of bytes: the file a download writes, the checked deletion that removes it again,
// and random access to the bytes of a file being read.
#include "platform/FileSystem.h"

#include "platform/Errors.h"
#include "platform/Paths.h"
#include "platform/posix/NativeFiles.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvane {

namespace {

[[noreturn]] void Raise(const char* action, std::string_view path, int error) {
    throw SystemError(std::string("Cannot ") + action + " file \"" + std::string(path) + "\". " +
                          SystemErrorMessage(error),
                      error);
}

// Exclusive use is an advisory lock, so it binds the processes of this system, the only ones
// that write these files.
bool LockExclusive(int handle) {
    while (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

FileStream::FileStream(std::string_view path) : path_(path) {
    const std::string_view plain = WithoutExtendedPrefix(path);
    if (IsPathTooLong(path))
        Raise("create", path, ENAMETOOLONG);
    if (HasInvalidPathChars(plain))
        Raise("create", path, EINVAL);
    const std::string native = ToNativePath(plain);
    posix::UniqueDescriptor file(::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0777));
    if (!file.IsOpen())
        Raise("create", path, errno == ETXTBSY ? EBUSY : errno);
    if (!LockExclusive(file.Get()))
        Raise("create", path, (errno == EWOULDBLOCK) ? EBUSY : errno);
    // Emptied only once the file is ours: a file in use stays as it was. A new, empty file is
    // left alone: truncating it would make ext4 flush the whole download when it is closed.
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0 || (st.st_size != 0 && ::ftruncate(file.Get(), 0) != 0))
        Raise("create", path, errno);
    handle_ = posix::HandleOf(file.Release());
}

FileStream::~FileStream() {
    if (handle_ != FileHandle::None)
        ::close(posix::DescriptorOf(handle_));
}

void FileStream::Write(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(posix::DescriptorOf(handle_), data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Raise("write", path_, errno);
        }
        if (written == 0)
            Raise("write", path_, ENOSPC);
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void FileStream::Close() {
    if (handle_ == FileHandle::None)
        return;
    const int handle = posix::DescriptorOf(std::exchange(handle_, FileHandle::None));
    if (::close(handle) != 0)
        Raise("close", path_, errno);
}

void DeleteFileChecked(std::string_view path) {
    const std::string_view plain = WithoutExtendedPrefix(path);
    CheckPathLength(path);
    CheckPathChars(plain);
    const std::string folder = ExtractFilePath(plain);
    if (!folder.empty() && !DirectoryExists(folder))
        throw DirectoryNotFoundException("The specified path was not found");

    const std::string native = ToNativePath(plain);
    // A file open in a FileStream is in use: it must not vanish under its writer.
    const int probe = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (probe >= 0) {
        const bool free = LockExclusive(probe);
        const int error = errno;
        if (!free && error == EWOULDBLOCK) {
            ::close(probe);
            throw SystemError(SystemErrorMessage(EBUSY), EBUSY);
        }
    }
    const int result = ::unlink(native.c_str());
    const int error = errno;
    if (probe >= 0)
        ::close(probe);
    if (result == 0)
        return;
    switch (error) {
    case ENOENT:
    case EACCES:
    case EPERM:
    case EBUSY:
    case ETXTBSY:
        throw SystemError(SystemErrorMessage(error), error);
    default:
        return; // as on the system's own deletion, other failures are not reported
    }
}

FileBytes::FileBytes(std::string_view path) {
    if (path.empty())
        return;
    const std::string native = ToNativePath(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    posix::UniqueDescriptor file(
        ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (!file.IsOpen() || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return;
    handle_ = posix::HandleOf(file.Release());
    size_ = static_cast<std::uint64_t>(st.st_size);
}

FileBytes::~FileBytes() {
    if (handle_ != FileHandle::None)
        ::close(posix::DescriptorOf(handle_));
}

bool FileBytes::ReadAt(std::uint64_t offset, std::span<std::byte> into) const {
    if (handle_ == FileHandle::None || offset > size_ || into.size() > size_ - offset)
        return false;
    size_t done = 0;
    while (done < into.size()) {
        const ssize_t got = ::pread(posix::DescriptorOf(handle_), into.data() + done,
                                    into.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

std::int64_t FileSizeOf(std::string_view path) {
    if (path.empty())
        return -1;
    const std::string native = ToNativePath(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

} // namespace corvane
