#include "platform/Paths.h"

#include "platform/Errors.h"

#include <filesystem>
#include <system_error>

namespace corvane {

PathStyle HostPathStyle() {
    return PathStyle::Posix;
}

std::string ExecutablePath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    // An empty answer would make callers look in the current directory instead.
    if (ec || path.empty())
        throw SystemError(ec ? ec.message() : "The executable path is empty", ec ? ec.value() : 0);
    return path.string();
}

} // namespace corvane
