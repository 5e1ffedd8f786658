// Path rules of the system. Relative names keep the backslash between folders; only this
// layer turns a system path into a native one.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// True for the characters not allowed in paths: controls 0 to 31, '"', '<', '>' and '|'.
bool HasInvalidPathChars(std::string_view path);

// Throws EArgumentException("Invalid characters in path") when the path holds one of them.
void CheckPathChars(std::string_view path);

// True for '\' and '/'.
constexpr bool IsPathDelimiter(char c) {
    return c == '\\' || c == '/';
}

// A name that begins with a separator, a drive ("C:") or is a network path.
bool IsPathRooted(std::string_view path);

// Joins a folder and a relative name: both are checked for invalid characters; an empty
// folder gives the name, an empty name the folder, a rooted name is used alone; otherwise
// a backslash goes between them unless the folder already ends with a separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// Appends a backslash unless the value already ends with one (only the backslash counts).
std::string IncludeTrailingBackslash(std::string_view path);

// The folder part of a path, with its trailing delimiter ("" when there is none).
std::string ExtractFilePath(std::string_view path);

// The name part of a path, after its last delimiter.
std::string ExtractFileName(std::string_view path);

// A system path (backslashes between folders) as a native POSIX path.
std::string ToNativePath(std::string_view path);

// The full path of this process's executable, in native form, whatever the current
// directory. Throws EOSError when the system cannot tell it.
std::string ExecutablePath();

} // namespace corvane
