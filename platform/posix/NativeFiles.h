// What the POSIX halves of the file concepts share: native paths, owned descriptors, temporary
// names beside a target, stamping, and the system's error raised as EOSError. Only
// platform/posix/ includes this.
#pragma once

#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"

#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvane::posix {

// A system path, with or without the extended-length prefix, as a native path.
inline std::string NativeOf(std::string_view path) {
    return ToNativePath(WithoutExtendedPrefix(path));
}

[[noreturn]] inline void ThrowSystemError(int error) {
    throw EOSError(SystemErrorMessage(error), error);
}

// A descriptor closed when it goes; -1 holds nothing.
class FileHandle {
public:
    explicit FileHandle(int descriptor = -1) : descriptor_(descriptor) {}
    ~FileHandle() { Reset(); }
    FileHandle(FileHandle&& other) noexcept : descriptor_(other.Release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

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

// A name in the native target's folder that no other writer picks: the same folder keeps the
// rename over the target atomic.
inline std::string TemporaryNameBeside(const std::string& nativeTarget) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".corvane-%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    const auto slash = nativeTarget.rfind('/');
    return (slash == std::string::npos ? std::string() : nativeTarget.substr(0, slash + 1)) +
           suffix;
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
