#include "shell/LaunchFlow.h"

#include "platform/FileSystem.h"
#include "shell/LauncherTexts.h"
#include "shell/UpdateTime.h"
#include "update/RunLog.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

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
        [this, module = std::move(module)](DateTime start) { StartModuleProgram(module, start); });
}

void LaunchFlow::StartStartupRun() {
    RunUpdate({}, true, [this](DateTime start) { EndRun(start); });
}

void LaunchFlow::RunUpdate(std::string_view moduleName, bool additionalFiles, RunEnd runEnd) {
    if (NothingConfigured(settings_)) {
        // No run will come to hide the panel that shows from the start.
        HideWaitPanelWhenIdle();
        return;
    }
    if (runsUnderway_++ == 0)
        view_.StartProgressTicks(kProgressInterval);
    const DateTime start = system_.now();
    view_.ShowWaitPanel();
    try {
        const std::shared_ptr<FilesUpdater> updater = system_.newUpdater(
            settings_.localPath, settings_.remotePath, settings_.url,
            [self = std::weak_ptr<LaunchFlow*>(self_), runEnd = std::move(runEnd), start] {
                if (self.lock())
                    runEnd(start);
            },
            RunObserver(moduleName));
        updater->Execute(std::string(moduleName), additionalFiles);
    } catch (...) {
        // No completion will come: the run ends here.
        --runsUnderway_;
        HideWaitPanelWhenIdle();
        throw;
    }
}

void LaunchFlow::EndRun(DateTime start) {
    if (runsUnderway_ > 0)
        --runsUnderway_;
    HideWaitPanelWhenIdle();
    view_.SetCaption(UpdateTimeCaption(system_.now() - start, system_.timeSeparator));
}

void LaunchFlow::StartModuleProgram(const std::string& module, DateTime start) {
    EndRun(start);
    if (FileExists(module)) {
        // A module that cannot start (no right to run, not a program) would otherwise leave the
        // click without an answer.
        try {
            system_.startProgram(module, kNormalStartup);
        } catch (const std::exception& error) {
            view_.ShowMessage(MessageKind::Error, std::string(kModuleNotStartedText) + "\r\n" +
                                                      module + "\r\n" + error.what());
        }
    } else {
        view_.ShowMessage(MessageKind::Information, "Módulo não instalado.\r\n" + module);
    }
}

void LaunchFlow::HideWaitPanelWhenIdle() {
    if (runsUnderway_ != 0)
        return;
    view_.HideWaitPanel();
    // The next runs start their figures from nothing.
    view_.StopProgressTicks();
    progress_.Reset();
    if (!progressShown_.empty()) {
        progressShown_.clear();
        view_.ShowProgress(progressShown_);
    }
}

void LaunchFlow::ProgressTick() {
    if (runsUnderway_ == 0)
        return;
    std::string text = ProgressText(progress_.Read());
    if (text == progressShown_)
        return;
    progressShown_ = std::move(text);
    view_.ShowProgress(progressShown_);
}

std::shared_ptr<FilesUpdaterObserver> LaunchFlow::RunObserver(std::string_view moduleName) {
    std::vector<std::shared_ptr<FilesUpdaterObserver>> observers{progress_.Observer()};
    if (!system_.runLogPath.empty())
        observers.push_back(std::make_shared<RunLog>(
            system_.runLogPath, std::string(moduleName),
            settings_.url.empty() ? settings_.remotePath : settings_.url, system_.launcherVersion));
    return std::make_shared<FilesUpdaterObservers>(std::move(observers));
}

} // namespace corvane
