#include "platform/NativePaths.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <vector>

namespace corvane {

namespace {

constexpr char kSeparator = '/';

} // namespace

std::string JoinNativePath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (joined.empty() || joined.back() != kSeparator)
        joined += kSeparator;
    joined.append(name);
    return joined;
}

std::string NativeAbsolutePath(std::string_view path) {
    std::string full = ToNativePath(path);
    if (full.empty() || full.front() != kSeparator)
        full = JoinNativePath(GetCurrentDir(), full);
    std::vector<std::string_view> parts;
    for (std::string_view rest(full); !rest.empty();) {
        const size_t separator = rest.find(kSeparator);
        const std::string_view part = rest.substr(0, separator);
        rest.remove_prefix(separator == std::string_view::npos ? rest.size() : separator + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string normal;
    for (const std::string_view part : parts) {
        normal += kSeparator;
        normal.append(part);
    }
    return normal.empty() ? std::string(1, kSeparator) : normal;
}

bool IsNativePathWithin(std::string_view path, std::string_view folder) {
    if (path == folder)
        return true;
    const bool folderIsRoot = folder.size() == 1 && folder.front() == kSeparator;
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (folderIsRoot || path[folder.size()] == kSeparator);
}

} // namespace corvane
