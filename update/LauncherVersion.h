// What the launcher's self-replacement asks of a copy of itself: its version, and whether a
// copy on the server calls for replacing the local one.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The file version of the executable at path, as its four numbers joined by "." in full
// ("2019.1.0.4"); empty when the file is missing, cannot be read or carries no readable
// version. Only the few pieces the reader needs are read from the file.
std::string FileVersionOf(std::string_view path);

// True when both copies carry a version and the two differ, in either direction. A copy
// without a version never calls for a replacement.
bool LauncherUpdateDue(std::string_view localVersion, std::string_view serverVersion);

} // namespace corvane
