// File facts and the few file operations every layer needs. Paths are system paths
// (backslashes allowed); they are made native here.
#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// A file, not a folder, exists at the path; links are followed.
bool FileExists(std::string_view path);

// A folder exists at the path; links are followed.
bool DirectoryExists(std::string_view path);

// Creates one folder (its parent must exist). False when it could not be created.
bool CreateDir(std::string_view path);

// The file's last-write time in local time, to the millisecond; false when there is no
// file or its time cannot be read.
bool TryFileAge(std::string_view path, TDateTime& age);

// The file's age, or -1.0 when there is no file or its time cannot be read.
TDateTime FileAge(std::string_view path);

// A file time (seconds and nanoseconds since 1970-01-01 UTC) as an age in local time, to the
// millisecond; false when it has no valid local date.
bool TryAgeFromUnixTime(std::int64_t seconds, std::int64_t nanoseconds, TDateTime& age);

// An age read as local time as a file time; false (errno set) when the zone rules reject it.
bool TryUnixTimeFromAge(TDateTime age, std::int64_t& seconds, std::int64_t& nanoseconds);

// Sets the file's last-write time from an age read as local time. Throws EOSError with the
// system's message when the file cannot be stamped.
void SetFileAge(std::string_view path, TDateTime age);

// Reads a whole file into content; false when it cannot be opened or read.
bool ReadWholeFile(std::string_view path, std::string& content);

// The system's message for an errno value, as error reports show it.
std::string SystemErrorMessage(int errorCode);

} // namespace corvane
