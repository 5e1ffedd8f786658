// What the POSIX halves of the file concepts share: native paths, the descriptors behind the
// portable FileHandle, owned descriptors, temporary names beside a target, stamping, and the
// system's error raised as SystemError. Only platform/posix/ includes this.
#pragma once

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/Handles.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvane::posix {

// A system path, with or without the extended-length prefix, as a native path.
inline std::string NativeOf(std::string_view path) {
    return ToNativePath(WithoutExtendedPrefix(path));
}

[[noreturn]] inline void ThrowSystemError(int error) {
    throw SystemError(SystemErrorMessage(error), error);
}

// The descriptor a portable handle holds (-1 for FileHandle::None), and back.
inline int DescriptorOf(corvane::FileHandle handle) {
    return static_cast<int>(handle);
}
inline corvane::FileHandle HandleOf(int descriptor) {
    return descriptor < 0 ? corvane::FileHandle::None
                          : static_cast<corvane::FileHandle>(descriptor);
}

// A descriptor closed when it goes; -1 holds nothing.
class UniqueDescriptor {
public:
    explicit UniqueDescriptor(int descriptor = -1) : descriptor_(descriptor) {}
    ~UniqueDescriptor() { Reset(); }
    UniqueDescriptor(UniqueDescriptor&& other) noexcept : descriptor_(other.Release()) {}
    UniqueDescriptor& operator=(UniqueDescriptor&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;

    int Get() const { return descriptor_; }
    bool IsOpen() const { return descriptor_ >= 0; }
    // Hands the descriptor over to a caller who closes it.
    int Release() { return std::exchange(descriptor_, -1); }
    void Reset(int descriptor = -1) {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        descriptor_ = descriptor;
    }

private:
    int descriptor_;
};

// The temporary names of replacement files: the prefix, 16 lowercase hexadecimal digits, the
// suffix. Made by TemporaryNameBeside and recognised by IsTemporaryName alone.
inline constexpr std::string_view kTemporaryPrefix = ".corvane-";
inline constexpr std::string_view kTemporarySuffix = ".tmp";
inline constexpr std::size_t kTemporaryDigits = 16;

// A name in the native target's folder that no other writer picks: the same folder keeps the
// rename over the target atomic.
inline std::string TemporaryNameBeside(const std::string& nativeTarget) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char digits[kTemporaryDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
    const auto slash = nativeTarget.rfind('/');
    return (slash == std::string::npos ? std::string() : nativeTarget.substr(0, slash + 1)) +
           std::string(kTemporaryPrefix) + digits + std::string(kTemporarySuffix);
}

// Whether a file name (without its folder) is one TemporaryNameBeside makes.
inline bool IsTemporaryName(std::string_view name) {
    if (name.size() != kTemporaryPrefix.size() + kTemporaryDigits + kTemporarySuffix.size() ||
        !name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix))
        return false;
    const std::string_view digits = name.substr(kTemporaryPrefix.size(), kTemporaryDigits);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Whether the name in the folder (a descriptor, or AT_FDCWD) still names the open file.
inline bool NameIsFile(int folder, const char* name, int descriptor) {
    struct stat atName {};
    struct stat open {};
    return ::fstatat(folder, name, &atName, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(descriptor, &open) == 0 && atName.st_dev == open.st_dev &&
           atName.st_ino == open.st_ino;
}

// Creates a new, empty file under a temporary name beside the native target, with the mode
// (the umask applies), and holds it with an exclusive lock for as long as the descriptor is
// open. A cleaner may take the name between the create and the lock: the file is then checked
// to be still under its name once held, and made again under another name when it is not.
// Sets name; on failure returns a closed handle with errno set.
inline UniqueDescriptor CreateHeldTemporaryBeside(const std::string& nativeTarget, mode_t mode,
                                                  std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = TemporaryNameBeside(nativeTarget);
        UniqueDescriptor file(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!file.IsOpen()) {
            if (errno == EEXIST)
                continue;
            break;
        }
        int locked = 0;
        do {
            locked = ::flock(file.Get(), LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const int error = errno;
            ::unlink(name.c_str());
            errno = error;
            break;
        }
        if (NameIsFile(AT_FDCWD, name.c_str(), file.Get()))
            return file;
        errno = EEXIST;
    }
    name.clear();
    return UniqueDescriptor();
}

// The mode a new file of that use is created with; the umask then takes its share.
inline mode_t ModeOf(FilePermissions permissions) {
    return permissions == FilePermissions::Program ? 0777 : 0666;
}

// Sets the last-write time of an open file (path null) or of the path relative to descriptor
// (AT_FDCWD: the current folder) to a moment; the access time stays. 0, or -1 with errno set.
inline int StampLastWrite(int descriptor, const char* path, FileTime time) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<std::time_t>(time.seconds);
    times[1].tv_nsec = static_cast<long>(time.nanoseconds);
    return path ? ::utimensat(descriptor, path, times, 0) : ::futimens(descriptor, times);
}

} // namespace corvane::posix
