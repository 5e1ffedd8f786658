#include "platform/Paths.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/Unicode.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr std::string_view kExtendedPrefix = "\\\\?\\";

PathStyle Resolved(PathStyle style) {
    return style == PathStyle::Native ? HostPathStyle() : style;
}

// A network path in its extended form ("\\?\UNC\srv\share") written as usual.
std::string_view WithoutExtendedUncPrefix(std::string_view path, std::string& storage) {
    constexpr std::string_view kUnc = "UNC\\";
    if (path.size() < kUnc.size() || UpperCase(path.substr(0, kUnc.size())) != kUnc)
        return path;
    storage = "\\\\";
    storage += path.substr(kUnc.size());
    return storage;
}

} // namespace

bool HasInvalidPathChars(std::string_view path) {
    return std::any_of(path.begin(), path.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 32 || c == '"' || c == '<' || c == '>' || c == '|';
    });
}

void CheckPathChars(std::string_view path) {
    if (HasInvalidPathChars(path))
        throw ArgumentException("Invalid characters in path");
}

bool IsPathRooted(std::string_view path) {
    if (path.empty())
        return false;
    if (IsPathDelimiter(path[0]))
        return true; // also covers network paths ("\\server\share")
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    CheckPathChars(folder);
    CheckPathChars(name);
    if (folder.empty())
        return std::string(name);
    if (name.empty())
        return std::string(folder);
    if (IsPathRooted(name))
        return std::string(name);
    std::string result(folder);
    const char last = folder.back();
    if (!IsPathDelimiter(last) && !(folder.size() == 2 && last == ':'))
        result += '\\';
    result += name;
    return result;
}

std::string IncludeTrailingBackslash(std::string_view path) {
    std::string result(path);
    if (result.empty() || result.back() != '\\')
        result += '\\';
    return result;
}

std::string ExtractFilePath(std::string_view path) {
    const auto pos = path.find_last_of("\\/");
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string ExtractFileName(std::string_view path) {
    const auto pos = path.find_last_of("\\/");
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

bool HasExtendedPrefix(std::string_view path) {
    return path.substr(0, kExtendedPrefix.size()) == kExtendedPrefix;
}

std::string_view WithoutExtendedPrefix(std::string_view path) {
    return HasExtendedPrefix(path) ? path.substr(kExtendedPrefix.size()) : path;
}

bool IsPathTooLong(std::string_view path) {
    return !HasExtendedPrefix(path) && Utf16Length(path) >= kMaxPathLength;
}

void CheckPathLength(std::string_view path) {
    if (IsPathTooLong(path))
        throw PathTooLongException("The specified path is too long");
}

std::string ToNativePath(std::string_view path, PathStyle style) {
    const bool windows = Resolved(style) == PathStyle::Windows;
    const char from = windows ? '/' : '\\';
    const char to = windows ? '\\' : '/';
    std::string result(path);
    std::replace(result.begin(), result.end(), from, to);
    return result;
}

std::string PathKey(std::string_view path, PathStyle style) {
    style = Resolved(style);
    const bool windows = style == PathStyle::Windows;
    std::string unc;
    std::string_view plain = WithoutExtendedPrefix(path);
    if (windows && HasExtendedPrefix(path))
        plain = WithoutExtendedUncPrefix(plain, unc);
    std::string key = ToNativePath(plain, style);
    const char delimiter = windows ? '\\' : '/';
    // "/opt/app//x.dll" (a folder ending in a delimiter joined with a backslash) is the file
    // "/opt/app/x.dll"; on Windows the two delimiters that open "\\srv\share" are kept.
    const std::size_t kept = windows && key.starts_with("\\\\") ? 2 : 0;
    key.erase(std::unique(key.begin() + static_cast<std::ptrdiff_t>(kept), key.end(),
                          [delimiter](char a, char b) { return a == delimiter && b == delimiter; }),
              key.end());
    return windows ? UpperCase(key) : key;
}

} // namespace corvane
