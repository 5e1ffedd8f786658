#include "shell/LauncherSystem.h"

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SimpleMail.h"

#include <utility>

namespace corvane {

LauncherSystem PlatformLauncherSystem() {
    LauncherSystem system;
    system.newUpdater = [](const std::string& localPath, const std::string& remotePath,
                           const std::string& url, TThreadMethod onTerminate) {
        return TFilesUpdater::New(localPath, remotePath, url, std::move(onTerminate));
    };
    system.startProgram = StartDetachedProcess;
    system.now = Now;
    system.currentDir = GetCurrentDir;
    system.selfReplacementFiles = PlatformSelfReplacementFiles();
    system.sendMail = [](const std::string& address) {
        return ProcessSimpleMail().SendMail(address);
    };
    return system;
}

} // namespace corvane
