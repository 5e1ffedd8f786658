#include "platform/FileTime.h"

#include "platform/Errors.h"
#include "platform/posix/NativeFiles.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>

namespace corvane {

namespace {

// The C library guards its time-zone state with a lock of its own that thread checkers cannot
// see, and mktime rereads the zone rules on every call: taking our own lock around both
// conversions keeps them ordered for the checkers too. The calls are short.
std::mutex& ZoneRulesLock() {
    static std::mutex lock;
    return lock;
}

// Every file system in use keeps the moments of signed 32-bit seconds (1901 to 2038) to the
// nanosecond; beyond them some clamp (ext4 to 1901 and 2446, ext3 to 2038), so there the
// folder's own file system is asked.
bool KeptByEveryFileSystem(std::int64_t seconds) {
    return seconds >= INT32_MIN && seconds <= INT32_MAX;
}

enum class Probe { Kept, Refused, NotMade };

// Stamps an empty file of its own in the folder with the moment and reads back what the file
// system kept into time.
Probe ProbeStamp(std::string_view folder, FileTime& time) {
    std::string native = posix::NativeOf(folder);
    if (native.empty())
        native.push_back('.'); // not = ".": GCC 12 at -O3 falsely warns (-Wrestrict) on that
    // Held as a replacement's temporary file is, so that no cleaner takes it meanwhile.
    std::string probeName;
    const posix::UniqueDescriptor probe =
        posix::CreateHeldTemporaryBeside(native + "/probe", 0600, probeName);
    if (!probe.IsOpen())
        return Probe::NotMade;
    struct Remover {
        const std::string& name;
        ~Remover() { ::unlink(name.c_str()); }
    } remover{probeName};
    if (posix::StampLastWrite(probe.Get(), nullptr, time) != 0)
        return errno == EINVAL || errno == EOVERFLOW || errno == ERANGE ? Probe::Refused
                                                                        : Probe::NotMade;
    struct stat kept {};
    if (::fstat(probe.Get(), &kept) != 0)
        return Probe::NotMade;
    time = {kept.st_mtim.tv_sec, kept.st_mtim.tv_nsec};
    return Probe::Kept;
}

} // namespace

std::optional<DateTime> AgeFromFileTime(FileTime time) {
    std::tm local{};
    const auto when = static_cast<std::time_t>(time.seconds);
    {
        std::lock_guard lock(ZoneRulesLock());
        if (localtime_r(&when, &local) == nullptr)
            return std::nullopt;
    }
    const int ms = static_cast<int>(time.nanoseconds / 1'000'000);
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec; // a leap second reads as :59
    if (!IsValidDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, second, ms))
        return std::nullopt;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, second, ms);
}

std::optional<FileTime> FileTimeFromAge(DateTime age) {
    const DateTimeParts p = DecodeDateTime(age);
    std::tm local{};
    local.tm_year = p.year - 1900;
    local.tm_mon = p.month - 1;
    local.tm_mday = p.day;
    local.tm_hour = p.hour;
    local.tm_min = p.minute;
    local.tm_sec = p.second;
    local.tm_isdst = -1; // let the zone rules decide, so the time reads back as given
    std::time_t when = 0;
    {
        std::lock_guard lock(ZoneRulesLock());
        errno = 0;
        when = std::mktime(&local);
    }
    if (when == static_cast<std::time_t>(-1) && errno != 0)
        return std::nullopt;
    return FileTime{when, static_cast<std::int64_t>(p.millisecond) * 1'000'000};
}

std::optional<DateTime> FileAge(std::string_view path) {
    if (path.empty())
        return std::nullopt;
    struct stat st {};
    if (::stat(ToNativePath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return AgeFromFileTime({st.st_mtim.tv_sec, st.st_mtim.tv_nsec});
}

void SetFileAge(std::string_view path, DateTime age) {
    const std::optional<FileTime> time = FileTimeFromAge(age);
    if (!time)
        posix::ThrowSystemError(errno);
    if (posix::StampLastWrite(AT_FDCWD, ToNativePath(path).c_str(), *time) != 0)
        posix::ThrowSystemError(errno);
}

std::optional<DateTime> StampedAge(DateTime age, std::string_view folder) {
    // To a moment by the zone's rules and back, as a stamp and a later reading go.
    std::optional<FileTime> time = FileTimeFromAge(age);
    if (!time)
        return std::nullopt;
    const std::optional<DateTime> stamped = AgeFromFileTime(*time);
    if (!stamped || KeptByEveryFileSystem(time->seconds))
        return stamped;
    switch (ProbeStamp(folder, *time)) {
    case Probe::Kept:
        return AgeFromFileTime(*time);
    case Probe::Refused:
        return std::nullopt;
    case Probe::NotMade:
        break; // a folder closed to writing: the stamp itself will fail, and say why
    }
    return stamped;
}

} // namespace corvane
