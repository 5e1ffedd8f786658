#include "platform/FileMove.h"

#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace corvane {

std::string GetCurrentDir() {
    std::error_code error;
    auto current = std::filesystem::current_path(error);
    if (error)
        return {};
    return current.string();
}

bool CopyFileOver(std::string_view from, std::string_view to) {
    std::error_code error;
    std::filesystem::copy_file(ToNativePath(from), ToNativePath(to),
                               std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

bool DeleteFileAt(std::string_view path) {
    const auto native = ToNativePath(path);
    if (::unlink(native.c_str()) == 0)
        return true;
    return errno == ENOENT;
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

} // namespace corvane
