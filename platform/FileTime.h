// A file's age: its last-write time as a local DateTime, to the millisecond. Every conversion
// between the file systems' times and DateTime goes through AgeFromFileTime and
// FileTimeFromAge, so an age stamped on a file reads back exactly equal.
//
//     SetFileAge(target, serverAge);
//     if (FileAge(target) != serverAge) ... // no file, no readable time, or another age
#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// A moment as file systems keep it: seconds and nanoseconds since 1970-01-01 UTC.
struct FileTime {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0; // 0 to 999,999,999

    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// The moment as an age in local time, to the millisecond (nanoseconds are cut, a leap second
// reads as :59); nothing when it has no valid local date.
std::optional<DateTime> AgeFromFileTime(FileTime time);

// An age read as local time as a moment: a clock time the zone skips (a daylight-saving gap)
// moves on by the gap, a repeated one takes the zone's choice. Nothing when the zone's rules
// put it out of the range of moments; the system's error code (errno) then tells why.
std::optional<FileTime> FileTimeFromAge(DateTime age);

// The last-write time of the file (not folder) at the path as an age; links are followed.
// Nothing when there is no file or its time cannot be read.
std::optional<DateTime> FileAge(std::string_view path);

// Sets the file's last-write time from an age read as local time; the access time stays.
// Throws SystemError with the system's message when the file cannot be stamped.
void SetFileAge(std::string_view path, DateTime age);

// The age that a file in folder reads back once stamped with age. As a rule the age itself;
// but a local time the clocks skip (a daylight-saving gap) reads back moved on by the gap, and
// a moment outside the range the folder's file system keeps reads back clamped to its limit.
// Comparing a server's age with a local file's in this form lets a file fetched once compare
// equal on the next run. Nothing when no file can carry the age: the zone's rules move it out
// of the range of ages, or the file system refuses it.
std::optional<DateTime> StampedAge(DateTime age, std::string_view folder);

} // namespace corvane
