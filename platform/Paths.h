// The system's path rules: joining, the characters paths may not hold, the length limits.
// Relative names keep the backslash between folders everywhere they are data; only this layer
// turns a system path into a native one. The rules that differ between the two systems take a
// PathStyle, the host's unless told, so that either system's rules are tested on any machine.
//
//     const std::string target = JoinPath(localFolder, "Relatorio\\Layout01.rav");
//     CheckPathLength(target);                   // PathTooLongException at 260 UTF-16 units
//     ::open(ToNativePath(target).c_str(), ...); // inside platform/ only
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// How a system writes and compares its paths. System paths (backslashes between folders,
// drives and network shares) read the same under both; what differs is the native form a path
// is opened under and whether names that differ only in letter case are one file.
enum class PathStyle {
    Native,  // the system this program runs on
    Posix,   // '/' between folders; names differing in case are different files
    Windows, // '\' between folders; names differing in case are one file
};

// The style Native stands for here.
PathStyle HostPathStyle();

// True for the characters not allowed in paths: controls 0 to 31, '"', '<', '>' and '|'.
bool HasInvalidPathChars(std::string_view path);

// Throws ArgumentException("Invalid characters in path") when the path holds one of them.
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

// Paths handed to the file operations must be shorter than this many UTF-16 code units unless
// they carry the extended-length prefix "\\?\".
constexpr std::size_t kMaxPathLength = 260;

// Folders to be listed must be shorter than this many UTF-16 code units (room is left for a
// name of 8.3 characters below them).
constexpr std::size_t kMaxListingRootLength = 248;

// The extended-length prefix "\\?\" that lifts the path-length limit, and the path without it.
bool HasExtendedPrefix(std::string_view path);
std::string_view WithoutExtendedPrefix(std::string_view path);

// True for a path of kMaxPathLength UTF-16 code units or more without the extended-length
// prefix: the limit counts characters, not bytes, so an accented letter is one unit.
bool IsPathTooLong(std::string_view path);

// Throws PathTooLongException("The specified path is too long") when IsPathTooLong.
void CheckPathLength(std::string_view path);

// A system path (backslashes between folders) as a native path of the style's system: either
// delimiter becomes the style's own.
std::string ToNativePath(std::string_view path, PathStyle style = PathStyle::Native);

// The one spelling under which the style's system sees the file at path: the extended-length
// prefix dropped, the native form, repeated delimiters collapsed (the two that open a network
// path stay), and for Windows the letters upper-cased as its file systems compare names. Two
// paths with one key name one file; two with different keys may still meet through links.
std::string PathKey(std::string_view path, PathStyle style = PathStyle::Native);

// The full path of this process's executable, in native form, whatever the current
// directory. Throws SystemError when the system cannot tell it.
std::string ExecutablePath();

} // namespace corvane
