#include "shell/LaunchFlow.h"

#include "platform/FileSystem.h"
#include "shell/UpdateTime.h"

#include <utility>

namespace corvane {

LaunchFlow::LaunchFlow(LauncherView& view, const LauncherSystem& system,
                       const LauncherSettings& settings)
    : view_(view), system_(system), settings_(settings) {}

void LaunchFlow::StartModule(const ClickArea& area) {
    // An empty name would start a run of the shared files alone.
    if (area.action != AreaAction::StartModule || area.moduleName.empty())
        return;
    // localPath ends in a delimiter.
    std::string module = settings_.localPath + std::string(area.moduleName);
    selectedModule_ = module;
    RunUpdate(
        area.moduleName, area.additionalFiles,
        [this, module = std::move(module)](TDateTime start) { StartModuleProgram(module, start); });
}

void LaunchFlow::StartStartupRun() {
    RunUpdate({}, true, [this](TDateTime start) { EndRun(start); });
}

void LaunchFlow::RunUpdate(std::string_view moduleName, bool additionalFiles, RunEnd runEnd) {
    if (NothingConfigured(settings_)) {
        // No run will come to hide the panel that shows from the start.
        HideWaitPanelWhenIdle();
        return;
    }
    ++runsUnderway_;
    const TDateTime start = system_.now();
    view_.ShowWaitPanel();
    try {
        const std::shared_ptr<IFilesUpdater> updater = system_.newUpdater(
            settings_.localPath, settings_.remotePath, settings_.url,
            [self = std::weak_ptr<LaunchFlow*>(self_), runEnd = std::move(runEnd), start] {
                if (self.lock())
                    runEnd(start);
            });
        updater->Execute(std::string(moduleName), additionalFiles);
    } catch (...) {
        // No completion will come: the run ends here.
        --runsUnderway_;
        HideWaitPanelWhenIdle();
        throw;
    }
}

void LaunchFlow::EndRun(TDateTime start) {
    if (runsUnderway_ > 0)
        --runsUnderway_;
    HideWaitPanelWhenIdle();
    view_.SetCaption(UpdateTimeCaption(system_.now() - start, system_.timeSeparator));
}

void LaunchFlow::StartModuleProgram(const std::string& module, TDateTime start) {
    EndRun(start);
    if (FileExists(module)) {
        // A failed start is not reported: the module's own trouble, not the launcher's.
        system_.startProgram(module, kNormalStartup);
    } else {
        view_.ShowMessage(MessageKind::Information, "Módulo não instalado.\r\n" + module);
    }
}

void LaunchFlow::HideWaitPanelWhenIdle() {
    if (runsUnderway_ == 0)
        view_.HideWaitPanel();
}

} // namespace corvane
