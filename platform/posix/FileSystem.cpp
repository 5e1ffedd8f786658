// Existence, folders, whole-file reads and the plain copy, move and delete of the launcher's
// self-replacement.
#include "platform/FileSystem.h"

#include "platform/Paths.h"
#include "platform/posix/NativeFiles.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace corvane {

namespace {

bool StatFollowingLinks(std::string_view path, struct stat& st) {
    if (path.empty())
        return false;
    const std::string native = ToNativePath(path);
    return ::stat(native.c_str(), &st) == 0;
}

} // namespace

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

bool ForceDirectories(std::string_view path) {
    std::string native = posix::NativeOf(path);
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

std::string GetCurrentDir() {
    std::error_code error;
    auto current = std::filesystem::current_path(error);
    if (error)
        return {};
    return current.string();
}

bool MoveFileTo(std::string_view from, std::string_view to) {
    const auto nativeFrom = ToNativePath(from);
    const auto nativeTo = ToNativePath(to);
    // RENAME_NOREPLACE makes the refusal and the move one step; file systems without it
    // fall back to a check first.
    if (::renameat2(AT_FDCWD, nativeFrom.c_str(), AT_FDCWD, nativeTo.c_str(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::access(nativeTo.c_str(), F_OK) == 0 || errno != ENOENT)
        return false;
    return ::rename(nativeFrom.c_str(), nativeTo.c_str()) == 0;
}

bool DeleteFileAt(std::string_view path) {
    const auto native = ToNativePath(path);
    if (::unlink(native.c_str()) == 0)
        return true;
    return errno == ENOENT;
}

bool ReadWholeFile(std::string_view path, std::string& content) {
    const posix::UniqueDescriptor file(::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen())
        return false;
    content.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.append(buffer, static_cast<size_t>(got));
    }
}

} // namespace corvane
