// The update-then-launch flow: a click on a module's area brings the module (and the shared
// files) up to date and then starts it; the start-up run brings the shared files up to date.
// The waiting panel shows while a run is under way, the caption tells how long the last one
// took. Runs may overlap: each starts the module that was clicked for it and reports its own
// time, and the panel comes down with the last. While it shows, a line under its busy
// indicator says how far the runs have got, redrawn at most ten times a second. Every run is
// logged for support when the system names a log. Main thread only.
//
//   LaunchFlow flow(view, system, settings);
//   flow.StartModule(*FindClickArea("stock")); // later, on the main thread: Morvik.exe starts
#pragma once

#include "platform/DateTime.h"
#include "platform/Process.h"
#include "shell/LauncherSettings.h"
#include "shell/LauncherSystem.h"
#include "shell/LauncherView.h"
#include "shell/ModuleTable.h"
#include "update/UpdateProgress.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

// How the launcher starts a module or its own new copy: its first window shows normally.
inline constexpr StartupInfo kNormalStartup{true, ShowWindow::ShowNormal};

// How often the progress line is redrawn while runs are under way.
inline constexpr std::chrono::milliseconds kProgressInterval{100};

class LaunchFlow {
public:
    // The view, the system and the settings must outlive the flow; runs that end after it
    // are dropped.
    LaunchFlow(LauncherView& view, const LauncherSystem& system, const LauncherSettings& settings);
    LaunchFlow(const LaunchFlow&) = delete;
    LaunchFlow& operator=(const LaunchFlow&) = delete;

    // A run for the area's module; nothing for an area that starts none. An error while the
    // run's lists are built is raised here, and that run is over.
    void StartModule(const ClickArea& area);
    // The start-up run: the shared files alone, and no module starts after it.
    void StartStartupRun();
    // Redraws the progress line when the figures have changed.
    void ProgressTick();

    int RunsUnderway() const { return runsUnderway_; }
    // The full path of the module of the last click; empty before the first.
    const std::string& SelectedModule() const { return selectedModule_; }

private:
    using RunEnd = std::function<void(DateTime start)>;

    void RunUpdate(std::string_view moduleName, bool additionalFiles, RunEnd runEnd);
    void EndRun(DateTime start);
    void StartModuleProgram(const std::string& module, DateTime start);
    void HideWaitPanelWhenIdle();
    // What the run's updater tells: the progress, and the log when there is one.
    std::shared_ptr<FilesUpdaterObserver> RunObserver(std::string_view moduleName);

    LauncherView& view_;
    const LauncherSystem& system_;
    const LauncherSettings& settings_;
    std::string selectedModule_;
    int runsUnderway_ = 0;
    UpdateProgress progress_;
    std::string progressShown_;
    // Runs that end after the flow hold only a weak reference to it.
    std::shared_ptr<LaunchFlow*> self_ = std::make_shared<LaunchFlow*>(this);
};

} // namespace corvane
