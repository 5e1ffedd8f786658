// What the launcher's shell uses of the system besides its view: the updater of a run, the
// start of a program, the clock, the self-replacement's files, the mail program. The real ones
// come from PlatformLauncherSystem; a test replaces the ones it watches.
#pragma once

#include "platform/DateTime.h"
#include "platform/Process.h"
#include "update/FilesUpdater.h"
#include "update/SelfReplacement.h"

#include <functional>
#include <memory>
#include <string>

namespace corvane {

// Makes the updater of one run (ModuleFilesUpdater::New), which tells observer what it does.
using UpdaterFactory = std::function<std::shared_ptr<FilesUpdater>(
    const std::string& localPath, const std::string& remotePath, const std::string& url,
    ThreadMethod onTerminate, std::shared_ptr<FilesUpdaterObserver> observer)>;

struct LauncherSystem {
    UpdaterFactory newUpdater;
    // Starts a program detached (StartDetachedProcess); raises with the system's message when
    // it could not be started.
    std::function<void(const std::string& program, const StartupInfo& startupInfo)> startProgram;
    // The local wall-clock time.
    std::function<DateTime()> now;
    // The process's current folder, where the self-replacement finds the launcher's copies.
    std::function<std::string()> currentDir;
    SelfReplacementFiles selfReplacementFiles;
    // Opens a new message to the address in the user's mail program and waits until the
    // program has taken it; the result is one of the codes of platform/SimpleMail.h.
    std::function<int(const std::string& address)> sendMail;
    // The time separator of the user's locale, which the run's caption uses.
    std::string timeSeparator = ":";
    // Where the runs are logged for support (update/RunLog.h); empty for no log.
    std::string runLogPath;
    // The launcher's own version, which each run's log names.
    std::string launcherVersion;
};

LauncherSystem PlatformLauncherSystem();

} // namespace corvane
