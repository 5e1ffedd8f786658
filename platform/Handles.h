// The handles of open files and sockets as platform/'s headers hold them, without naming the
// system's own types: a descriptor on POSIX, a HANDLE or a SOCKET on Windows. Each fits a
// pointer-sized integer, and -1 means "none" on both systems (INVALID_HANDLE_VALUE and
// INVALID_SOCKET are -1 as such an integer), so one value serves both halves.
//
//     FileHandle handle = FileHandle::None;
//     if (handle != FileHandle::None) ... // only platform/ turns it into the system's type
#pragma once

#include <cstdint>

namespace corvane {

// An open file of the system (not owned: whoever holds it says who closes it).
enum class FileHandle : std::intptr_t { None = -1 };

// An open socket of the system (not owned, as FileHandle).
enum class SocketHandle : std::intptr_t { None = -1 };

} // namespace corvane
