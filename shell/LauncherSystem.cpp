#include "shell/LauncherSystem.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/SimpleMail.h"
#include "update/LauncherVersion.h"
#include "update/RunLog.h"

#include <exception>
#include <utility>

namespace corvane {

LauncherSystem PlatformLauncherSystem() {
    LauncherSystem system;
    system.newUpdater = [](const std::string& localPath, const std::string& remotePath,
                           const std::string& url, ThreadMethod onTerminate,
                           std::shared_ptr<FilesUpdaterObserver> observer) {
        return ModuleFilesUpdater::New(localPath, remotePath, url, std::move(onTerminate),
                                       std::move(observer));
    };
    system.startProgram = StartDetachedProcess;
    system.now = Now;
    system.currentDir = GetCurrentDir;
    system.selfReplacementFiles = PlatformSelfReplacementFiles();
    system.sendMail = [](const std::string& address) {
        return ProcessSimpleMail().SendMail(address);
    };
    system.runLogPath = DefaultRunLogPath();
    try {
        system.launcherVersion = FileVersionOf(ExecutablePath());
    } catch (const std::exception&) {
        // The log then names no version; the launcher works all the same.
    }
    return system;
}

} // namespace corvane
