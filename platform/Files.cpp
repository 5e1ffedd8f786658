#include "platform/Files.h"

#include "platform/Errors.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace corvane {

namespace {

bool StatFollowingLinks(std::string_view path, struct stat& st) {
    if (path.empty())
        return false;
    const std::string native = ToNativePath(path);
    return ::stat(native.c_str(), &st) == 0;
}

// The C library guards its time-zone state with a lock of its own that thread checkers cannot
// see, and mktime rereads the zone rules on every call: taking our own lock around both
// conversions keeps them ordered for the checkers too. The calls are short.
std::mutex& ZoneRulesLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

std::string SystemErrorMessage(int errorCode) {
    char buffer[256];
    // GNU strerror_r returns the message, which may or may not be in the buffer.
    const char* message = strerror_r(errorCode, buffer, sizeof buffer);
    return message;
}

bool ReadWholeFile(std::string_view path, std::string& content) {
    const std::string native = ToNativePath(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content.clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return ok;
}

bool FileExists(std::string_view path) {
    struct stat st {};
    return StatFollowingLinks(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
    struct stat st {};
    return StatFollowingLinks(path, st) && S_ISDIR(st.st_mode);
}

bool CreateDir(std::string_view path) {
    const std::string native = ToNativePath(path);
    return !native.empty() && ::mkdir(native.c_str(), 0777) == 0;
}

bool TryAgeFromUnixTime(std::int64_t seconds, std::int64_t nanoseconds, TDateTime& age) {
    std::tm local{};
    const std::time_t when = static_cast<std::time_t>(seconds);
    {
        std::lock_guard lock(ZoneRulesLock());
        if (localtime_r(&when, &local) == nullptr)
            return false;
    }
    const int ms = static_cast<int>(nanoseconds / 1'000'000);
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec; // a leap second reads as :59
    if (!IsValidDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, second, ms))
        return false;
    age = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, second, ms);
    return true;
}

bool TryUnixTimeFromAge(TDateTime age, std::int64_t& seconds, std::int64_t& nanoseconds) {
    const TDateTimeParts p = DecodeDateTime(age);
    std::tm local{};
    local.tm_year = p.Year - 1900;
    local.tm_mon = p.Month - 1;
    local.tm_mday = p.Day;
    local.tm_hour = p.Hour;
    local.tm_min = p.Minute;
    local.tm_sec = p.Second;
    local.tm_isdst = -1; // let the zone rules decide, so the time reads back as given
    std::time_t when = 0;
    {
        std::lock_guard lock(ZoneRulesLock());
        errno = 0;
        when = std::mktime(&local);
    }
    if (when == static_cast<std::time_t>(-1) && errno != 0)
        return false;
    seconds = when;
    nanoseconds = static_cast<std::int64_t>(p.Millisecond) * 1'000'000;
    return true;
}

bool TryFileAge(std::string_view path, TDateTime& age) {
    struct stat st {};
    if (!StatFollowingLinks(path, st) || S_ISDIR(st.st_mode))
        return false;
    return TryAgeFromUnixTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec, age);
}

TDateTime FileAge(std::string_view path) {
    TDateTime age = -1.0;
    return TryFileAge(path, age) ? age : -1.0;
}

void SetFileAge(std::string_view path, TDateTime age) {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    if (!TryUnixTimeFromAge(age, seconds, nanoseconds)) {
        const int error = errno;
        throw EOSError(SystemErrorMessage(error), error);
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // the access time stays as it is
    times[1].tv_sec = static_cast<std::time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    const std::string native = ToNativePath(path);
    if (::utimensat(AT_FDCWD, native.c_str(), times, 0) != 0) {
        const int error = errno;
        throw EOSError(SystemErrorMessage(error), error);
    }
}

} // namespace corvane
