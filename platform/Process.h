// Starting another program as a process of its own, detached from the launcher.
#pragma once

#include "platform/StartupInfo.h"

#include <string>

namespace corvane {

// Starts the program at AProgram: the path is the program exactly as given (never split at
// blanks, never looked up on the search path), it gets no arguments, the launcher's
// environment and current directory. The launcher does not wait for it and it leaves no
// zombie behind: it is started from a short-lived intermediate process, so it belongs to the
// system's reaper from the start. AStartupInfo says how its first window shows; the desktop
// shows a new program's first window normally, which is all ShowNormal asks for here.
// Returns false when the program could not be started (missing, not executable, refused).
bool StartDetachedProcess(const std::string& AProgram, const TStartupInfo& AStartupInfo);

} // namespace corvane
