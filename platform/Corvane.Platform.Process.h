// Starts another program, detached from this process.
#pragma once

#include "Corvane.Platform.StartupInfo.h"

#include <string>

namespace corvane {

// Starts the executable at path (a system path) with no arguments, in this process's current
// folder, as its own session so it outlives this process. False when it could not be started.
bool StartProcess(const std::string& path, const TStartupInfo& startupInfo);

} // namespace corvane
