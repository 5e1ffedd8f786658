#include "service/RequestedNames.h"

#include "platform/Paths.h"

namespace corvane {

std::optional<std::vector<std::string>> SplitRequestedName(std::string_view name) {
    if (name.empty() || IsPathDelimiter(name.front()) || HasInvalidPathChars(name) ||
        name.find(':') != std::string_view::npos)
        return std::nullopt;
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < name.size() && !IsPathDelimiter(name[end]))
            ++end;
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return std::nullopt;
        parts.emplace_back(part);
        if (end == name.size())
            return parts;
        start = end + 1;
    }
}

std::optional<std::vector<std::string>> SplitRequestedFolder(std::string_view folder) {
    if (!folder.empty() && IsPathDelimiter(folder.front()))
        folder.remove_prefix(1);
    if (!folder.empty() && IsPathDelimiter(folder.back()))
        folder.remove_suffix(1);
    if (folder.empty())
        return std::vector<std::string>();
    return SplitRequestedName(folder);
}

std::string JoinNameParts(const std::vector<std::string>& parts, char separator) {
    std::string joined;
    for (const std::string& part : parts) {
        if (!joined.empty())
            joined += separator;
        joined += part;
    }
    return joined;
}

} // namespace corvane
