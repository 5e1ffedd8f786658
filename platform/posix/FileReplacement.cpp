// The copy that replaces its target only once the new file is complete and stamped.
#include "platform/FileSystem.h"

#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/posix/NativeFiles.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvane {

namespace {

bool SameFileState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ino == b.st_ino;
}

struct CloseDirectory {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

} // namespace

ReplacementFile::ReplacementFile(std::string_view target, FilePermissions permissions)
    : target_(posix::NativeOf(target)) {
    handle_ = posix::HandleOf(
        posix::CreateHeldTemporaryBeside(target_, posix::ModeOf(permissions), temporary_)
            .Release());
    if (handle_ == FileHandle::None)
        posix::ThrowSystemError(errno);
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

void ReplacementFile::Discard() noexcept {
    // Removed while still held, so that no cleaner races this writer for it.
    if (!committed_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    if (handle_ != FileHandle::None)
        ::close(posix::DescriptorOf(std::exchange(handle_, FileHandle::None)));
}

void ReplacementFile::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(posix::DescriptorOf(handle_), bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            posix::ThrowSystemError(errno);
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

std::size_t ReplacementFile::CopyFrom(FileHandle source) {
    constexpr size_t chunk = size_t{1} << 30;
    const int input = posix::DescriptorOf(source);
    const int output = posix::DescriptorOf(handle_);
    std::size_t total = 0;
    // The kernel's copy first; a pair of file systems it cannot join falls back to sendfile,
    // and a source sendfile cannot read to plain reads and writes.
    enum { KernelCopy, SendFile, ReadWrite } method = KernelCopy;
    for (;;) {
        ssize_t copied = 0;
        if (method == KernelCopy) {
            copied = ::copy_file_range(input, nullptr, output, nullptr, chunk, 0);
            if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                               errno == EOPNOTSUPP || errno == EBADF)) {
                method = SendFile;
                continue;
            }
        } else if (method == SendFile) {
            copied = ::sendfile(output, input, nullptr, chunk);
            if (copied < 0 && (errno == EINVAL || errno == ENOSYS)) {
                method = ReadWrite;
                continue;
            }
        } else {
            char buffer[1 << 16];
            copied = ::read(input, buffer, sizeof buffer);
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
    if (posix::StampLastWrite(posix::DescriptorOf(handle_), nullptr, *time) != 0)
        posix::ThrowSystemError(errno);
    Publish();
}

void ReplacementFile::Publish() {
    // The lock belongs to the open file, not to one descriptor: a second descriptor keeps the
    // file held after the close until it has its final name.
    const posix::UniqueDescriptor holder(::dup(posix::DescriptorOf(handle_)));
    if (!holder.IsOpen())
        posix::ThrowSystemError(errno);
    // close reports write errors some file systems (network shares) keep until then.
    const int handle = posix::DescriptorOf(std::exchange(handle_, FileHandle::None));
    if (::close(handle) != 0 && errno != EINTR)
        posix::ThrowSystemError(errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        posix::ThrowSystemError(errno);
    committed_ = true;
}

void CopyFileReplacing(std::string_view source, std::string_view target, DateTime age,
                       FilePermissions permissions) {
    for (const std::string_view path : {source, target}) {
        CheckPathLength(path);
        CheckPathChars(path);
    }
    // O_NONBLOCK: a pipe put in the source's place must not stall the copy; regular files
    // ignore it.
    const posix::UniqueDescriptor input(
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

    ReplacementFile output(target, permissions);
    const std::size_t copied = output.CopyFrom(posix::HandleOf(input.Get()));
    struct stat after {};
    if (::fstat(input.Get(), &after) != 0)
        posix::ThrowSystemError(errno);
    if (!SameFileState(before, after) || copied != static_cast<std::size_t>(before.st_size))
        throw Exception("The file changed while it was being copied");
    output.Commit(age);
}

bool CopyFileOver(std::string_view from, std::string_view to, FilePermissions permissions) {
    try {
        const posix::UniqueDescriptor input(
            ::open(posix::NativeOf(from).c_str(), O_RDONLY | O_CLOEXEC));
        if (!input.IsOpen())
            return false;
        ReplacementFile output(to, permissions);
        output.CopyFrom(posix::HandleOf(input.Get()));
        output.Publish();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

std::size_t RemoveAbandonedReplacementFiles(std::string_view folder) {
    const std::string native = posix::NativeOf(folder);
    // An empty folder is the current one.
    const std::unique_ptr<DIR, CloseDirectory> directory(
        ::opendir(native.empty() ? "." : native.c_str()));
    if (!directory)
        return 0;
    const int folderHandle = ::dirfd(directory.get());
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(directory.get())) {
        if (!posix::IsTemporaryName(entry->d_name))
            continue;
        // O_NONBLOCK: a pipe under such a name must not stall the run; O_NOFOLLOW: a link
        // under it is no file of ours.
        const posix::UniqueDescriptor file(
            ::openat(folderHandle, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!file.IsOpen())
            continue;
        struct stat state {};
        if (::fstat(file.Get(), &state) != 0 || !S_ISREG(state.st_mode))
            continue;
        // A live writer holds its file from before its name could be seen: the lock, taken
        // without waiting, is refused then.
        if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Held now, and still under that name: no writer can take it back before it goes.
        if (posix::NameIsFile(folderHandle, entry->d_name, file.Get()) &&
            ::unlinkat(folderHandle, entry->d_name, 0) == 0)
            ++removed;
    }
    return removed;
}

} // namespace corvane
