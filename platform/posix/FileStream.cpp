#include "platform/FileStream.h"

#include "platform/DirectoryList.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr std::string_view ExtendedPrefix = "\\\\?\\";

bool HasExtendedPrefix(std::string_view path) {
    return path.substr(0, 4) == ExtendedPrefix;
}

// The limit counts UTF-16 code units, as the system it comes from does, not bytes: an accented
// letter is one unit.
bool TooLong(std::string_view path) {
    return !HasExtendedPrefix(path) && Utf16Length(path) >= MaxPathLength;
}

std::string_view WithoutPrefix(std::string_view path) {
    return HasExtendedPrefix(path) ? path.substr(ExtendedPrefix.size()) : path;
}

[[noreturn]] void Raise(const char* action, std::string_view path, int error) {
    throw EOSError(std::string("Cannot ") + action + " file \"" + std::string(path) + "\". " +
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

TFileStream::TFileStream(std::string_view path) : FPath(path) {
    const std::string_view plain = WithoutPrefix(path);
    if (TooLong(path))
        Raise("create", path, ENAMETOOLONG);
    if (HasInvalidPathChars(plain))
        Raise("create", path, EINVAL);
    const std::string native = ToNativePath(plain);
    FHandle = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0777);
    if (FHandle < 0)
        Raise("create", path, errno == ETXTBSY ? EBUSY : errno);
    if (!LockExclusive(FHandle)) {
        const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(FHandle);
        FHandle = -1;
        Raise("create", path, error);
    }
    // Emptied only once the file is ours: a file in use stays as it was. A new, empty file is
    // left alone: truncating it would make ext4 flush the whole download when it is closed.
    struct stat st {};
    if (::fstat(FHandle, &st) != 0 || (st.st_size != 0 && ::ftruncate(FHandle, 0) != 0)) {
        const int error = errno;
        ::close(FHandle);
        FHandle = -1;
        Raise("create", path, error);
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

void TFileStream::Write(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(FHandle, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Raise("write", FPath, errno);
        }
        if (written == 0)
            Raise("write", FPath, ENOSPC);
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void TFileStream::Close() {
    if (FHandle < 0)
        return;
    const int handle = FHandle;
    FHandle = -1;
    if (::close(handle) != 0)
        Raise("close", FPath, errno);
}

void DeleteFileChecked(std::string_view path) {
    const std::string_view plain = WithoutPrefix(path);
    if (TooLong(path))
        throw EPathTooLongException("The specified path is too long");
    CheckPathChars(plain);
    const std::string folder = ExtractFilePath(plain);
    if (!folder.empty() && !DirectoryExists(folder))
        throw EDirectoryNotFoundException("The specified path was not found");

    const std::string native = ToNativePath(plain);
    // A file open in a TFileStream is in use: it must not vanish under its writer.
    const int probe = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (probe >= 0) {
        const bool free = LockExclusive(probe);
        const int error = errno;
        if (!free && error == EWOULDBLOCK) {
            ::close(probe);
            throw EOSError(SystemErrorMessage(EBUSY), EBUSY);
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
        throw EOSError(SystemErrorMessage(error), error);
    default:
        return; // as on the system's own deletion, other failures are not reported
    }
}

} // namespace corvane
