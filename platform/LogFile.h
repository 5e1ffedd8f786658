// Appending to a log file that keeps its size down by rotating: past its limit it becomes
// NAME.1 (replacing the one before) and a new file begins. Several threads and processes may
// append to one log at once; their records never mix.
//
//     AppendToLog("/opt/corvane/Logs/corvane-update.log", line + '\n', 1 << 20);
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// Appends record (whole lines) to the log at path, creating the file and its folder when
// missing. When the file holds something and the record would take it past maxBytes, the file
// is first renamed to path + ".1" and a new one is begun. The record goes in one write under an
// exclusive lock of the file. Throws SystemError with the system's message.
void AppendToLog(std::string_view path, std::string_view record, std::uint64_t maxBytes);

} // namespace corvane
