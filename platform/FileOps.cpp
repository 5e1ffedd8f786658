#include "platform/FileOps.h"

#include "platform/DirectoryList.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr std::string_view ExtendedPrefix = "\\\\?\\";

bool HasExtendedPrefix(std::string_view path) {
    return path.substr(0, 4) == ExtendedPrefix;
}

std::string NativeOf(std::string_view path) {
    if (HasExtendedPrefix(path))
        path.remove_prefix(ExtendedPrefix.size());
    return ToNativePath(path);
}

[[noreturn]] void ThrowSystemError(int error) {
    throw EOSError(SystemErrorMessage(error), error);
}

void CheckLengthAndChars(std::string_view path) {
    CheckPathLength(path);
    CheckPathChars(path);
}

// A name no other writer picks: the same folder keeps the rename atomic.
std::string TemporaryNameBeside(const std::string& nativeTarget) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".corvane-%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    const auto slash = nativeTarget.rfind('/');
    return (slash == std::string::npos ? std::string() : nativeTarget.substr(0, slash + 1)) +
           suffix;
}

class TFileHandle {
public:
    explicit TFileHandle(int fd) : FHandle(fd) {}
    ~TFileHandle() {
        if (FHandle >= 0)
            ::close(FHandle);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FHandle; }

private:
    int FHandle;
};

// Every file system in use keeps the moments of signed 32-bit seconds (1901 to 2038) to the
// nanosecond; beyond them some clamp (ext4 to 1901 and 2446, ext3 to 2038), so there the
// folder's own file system is asked.
bool KeptByEveryFileSystem(std::int64_t seconds) {
    return seconds >= INT32_MIN && seconds <= INT32_MAX;
}

enum class TProbe { Kept, Refused, NotMade };

// Stamps an empty file of its own in the folder with the moment and reads back what the file
// system kept, into seconds and nanoseconds.
TProbe ProbeStamp(std::string_view folder, std::int64_t& seconds, std::int64_t& nanoseconds) {
    std::string native = NativeOf(folder);
    if (native.empty())
        native.push_back('.'); // not = ".": GCC 12 at -O3 falsely warns (-Wrestrict) on that
    const std::string probeName = TemporaryNameBeside(native + "/probe");
    const TFileHandle probe(
        ::open(probeName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (probe.Get() < 0)
        return TProbe::NotMade;
    struct Remover {
        const std::string& Name;
        ~Remover() { ::unlink(Name.c_str()); }
    } remover{probeName};
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    if (::futimens(probe.Get(), times) != 0)
        return errno == EINVAL || errno == EOVERFLOW || errno == ERANGE ? TProbe::Refused
                                                                        : TProbe::NotMade;
    struct stat kept {};
    if (::fstat(probe.Get(), &kept) != 0)
        return TProbe::NotMade;
    seconds = kept.st_mtim.tv_sec;
    nanoseconds = kept.st_mtim.tv_nsec;
    return TProbe::Kept;
}

bool SameFileState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ino == b.st_ino;
}

} // namespace

void CheckPathLength(std::string_view path) {
    if (!HasExtendedPrefix(path) && Utf16Length(path) >= MaxPathLength)
        throw EPathTooLongException("The specified path is too long");
}

bool TryStampedAge(TDateTime age, std::string_view folder, TDateTime& stamped) {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    // To a moment by the zone's rules and back, as a stamp and a later reading go.
    if (!TryUnixTimeFromAge(age, seconds, nanoseconds) ||
        !TryAgeFromUnixTime(seconds, nanoseconds, stamped))
        return false;
    if (KeptByEveryFileSystem(seconds))
        return true;
    switch (ProbeStamp(folder, seconds, nanoseconds)) {
    case TProbe::Kept:
        return TryAgeFromUnixTime(seconds, nanoseconds, stamped);
    case TProbe::Refused:
        return false;
    case TProbe::NotMade:
        break; // a folder closed to writing: the stamp itself will fail, and say why
    }
    return true;
}

bool ForceDirectories(std::string_view path) {
    std::string native = NativeOf(path);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    if (native.empty())
        return false;
    if (DirectoryExists(native))
        return true;
    // Every level from the top; levels that exist already answer EEXIST.
    for (size_t pos = native.find('/', 1); pos != std::string::npos;
         pos = native.find('/', pos + 1))
        ::mkdir(native.substr(0, pos).c_str(), 0777);
    ::mkdir(native.c_str(), 0777);
    return DirectoryExists(native);
}

TReplacementFile::TReplacementFile(std::string_view target, unsigned permissions)
    : FTarget(NativeOf(target)) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        FTemporary = TemporaryNameBeside(FTarget);
        FHandle = ::open(FTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                         static_cast<mode_t>(permissions & 0777));
        if (FHandle >= 0)
            return;
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    FTemporary.clear();
    ThrowSystemError(error);
}

TReplacementFile::~TReplacementFile() {
    Discard();
}

void TReplacementFile::Discard() noexcept {
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
    if (!FCommitted && !FTemporary.empty()) {
        ::unlink(FTemporary.c_str());
        FTemporary.clear();
    }
}

void TReplacementFile::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(FHandle, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ThrowSystemError(errno);
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

std::size_t TReplacementFile::CopyFrom(int sourceHandle) {
    constexpr size_t Chunk = size_t{1} << 30;
    std::size_t total = 0;
    // The kernel's copy first; a pair of file systems it cannot join falls back to sendfile,
    // and a source sendfile cannot read to plain reads and writes.
    enum { KernelCopy, SendFile, ReadWrite } method = KernelCopy;
    for (;;) {
        ssize_t copied = 0;
        if (method == KernelCopy) {
            copied = ::copy_file_range(sourceHandle, nullptr, FHandle, nullptr, Chunk, 0);
            if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                               errno == EOPNOTSUPP || errno == EBADF)) {
                method = SendFile;
                continue;
            }
        } else if (method == SendFile) {
            copied = ::sendfile(FHandle, sourceHandle, nullptr, Chunk);
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
            ThrowSystemError(errno);
        }
        if (copied == 0)
            return total;
        total += static_cast<std::size_t>(copied);
    }
}

void TReplacementFile::Commit(TDateTime age) {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    if (!TryUnixTimeFromAge(age, seconds, nanoseconds))
        ThrowSystemError(errno != 0 ? errno : EINVAL);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // the access time stays as it is
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    if (::futimens(FHandle, times) != 0)
        ThrowSystemError(errno);
    // close reports write errors some file systems (network shares) keep until then.
    const int handle = FHandle;
    FHandle = -1;
    if (::close(handle) != 0 && errno != EINTR)
        ThrowSystemError(errno);
    if (::rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        ThrowSystemError(errno);
    FCommitted = true;
}

void CopyFileReplacing(std::string_view source, std::string_view target, TDateTime age) {
    CheckLengthAndChars(source);
    CheckLengthAndChars(target);
    // O_NONBLOCK: a pipe put in the source's place must not stall the copy; regular files
    // ignore it.
    TFileHandle input(::open(NativeOf(source).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (input.Get() < 0)
        ThrowSystemError(errno);
    struct stat before {};
    if (::fstat(input.Get(), &before) != 0)
        ThrowSystemError(errno);
    if (S_ISDIR(before.st_mode))
        ThrowSystemError(EISDIR);
    if (!S_ISREG(before.st_mode))
        ThrowSystemError(EINVAL);

    TReplacementFile output(target, before.st_mode & 0777);
    const std::size_t copied = output.CopyFrom(input.Get());
    struct stat after {};
    if (::fstat(input.Get(), &after) != 0)
        ThrowSystemError(errno);
    if (!SameFileState(before, after) || copied != static_cast<std::size_t>(before.st_size))
        throw Exception("The file changed while it was being copied");
    output.Commit(age);
}

} // namespace corvane
