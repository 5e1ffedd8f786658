// The update-then-launch flow with a view and an updater of the test's own: which run starts
// for which area, when the panel shows and hides, the caption, the module start or the
// "not installed" message, overlapping runs, nothing configured, a run that fails to start.
// One case runs the real updater against a server folder.
#include "shell/LaunchFlow.h"

#include "platform/Errors.h"
#include "platform/Process.h"
#include "tests/shell/FakeLauncherView.h"
#include "tests/support/FileTree.h"
#include "tests/support/MainThreadFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeLauncherView;
using testing::ShownMessage;

constexpr DateTime kMillisecond = 1.0 / 86400000.0;

// One run as the flow asked the updater for it; Complete plays the updater's completion.
struct RecordedRun {
    std::string localPath;
    std::string remotePath;
    std::string url;
    std::string moduleName;
    bool additionalFiles = false;
    bool executed = false;
    ThreadMethod complete;
    std::shared_ptr<FilesUpdaterObserver> observer;
};

class RecordingUpdater : public FilesUpdater {
public:
    RecordingUpdater(std::vector<RecordedRun>& runs, size_t index, const std::string* failure)
        : runs_(runs), index_(index), failure_(failure) {}
    void Execute(const std::string& moduleName, bool additionalFiles) override {
        if (failure_ && !failure_->empty())
            throw Exception(*failure_);
        RecordedRun& run = runs_[index_];
        run.moduleName = moduleName;
        run.additionalFiles = additionalFiles;
        run.executed = true;
    }

private:
    std::vector<RecordedRun>& runs_;
    size_t index_;
    const std::string* failure_;
};

struct StartedProgram {
    std::string program;
    StartupInfo startupInfo;
    friend bool operator==(const StartedProgram&, const StartedProgram&) = default;
};

class LaunchFlowTest : public ::testing::Test {
protected:
    LaunchFlowTest() {
        system_.newUpdater = [this](const std::string& localPath, const std::string& remotePath,
                                    const std::string& url, ThreadMethod onTerminate,
                                    std::shared_ptr<FilesUpdaterObserver> observer) {
            runs_.push_back({localPath,
                             remotePath,
                             url,
                             {},
                             false,
                             false,
                             std::move(onTerminate),
                             std::move(observer)});
            return std::make_shared<RecordingUpdater>(runs_, runs_.size() - 1, &executeFailure_);
        };
        system_.startProgram = [this](const std::string& program, const StartupInfo& info) {
            started_.push_back({program, info});
            return true;
        };
        system_.now = [this] { return clock_; };
        settings_.localPath = folder_.Folder();
        settings_.remotePath = "\\\\srv01\\corvane\\";
        settings_.url = "";
    }

    // A module executable in the launcher's folder, as a finished run leaves it.
    void Install(const std::string& name) { test::WriteFile(folder_.Path(), name, "module"); }

    void Complete(size_t run, DateTime at) {
        clock_ = at;
        ASSERT_LT(run, runs_.size());
        runs_[run].complete();
    }

    test::TempFolder folder_;
    FakeLauncherView view_;
    LauncherSystem system_;
    LauncherSettings settings_;
    std::vector<RecordedRun> runs_;
    std::vector<StartedProgram> started_;
    std::string executeFailure_;
    DateTime clock_ = 45000.5;
    LaunchFlow flow_{view_, system_, settings_};
};

TEST_F(LaunchFlowTest, ModuleClickUpdatesThenStartsTheModule) {
    Install("Morvik.exe");
    flow_.StartModule(*FindClickArea("stock"));
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].localPath, settings_.localPath);
    EXPECT_EQ(runs_[0].remotePath, "\\\\srv01\\corvane\\");
    EXPECT_EQ(runs_[0].url, "");
    EXPECT_TRUE(runs_[0].executed);
    EXPECT_EQ(flow_.SelectedModule(), settings_.localPath + "Morvik.exe");
    EXPECT_EQ(flow_.RunsUnderway(), 1);
    EXPECT_TRUE(view_.panelShown);
    EXPECT_TRUE(started_.empty());

    Complete(0, clock_ + 3250 * kMillisecond);
    EXPECT_EQ(flow_.RunsUnderway(), 0);
    EXPECT_FALSE(view_.panelShown);
    EXPECT_EQ(view_.caption, "Corvane Plexa Tempo do update : 00:03.250");
    EXPECT_THAT(started_, ElementsAre(StartedProgram{settings_.localPath + "Morvik.exe",
                                                     {true, ShowWindow::ShowNormal}}));
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_THAT(view_.calls, ElementsAre("ShowWaitPanel", "HideWaitPanel", "SetCaption"));
}

// A module whose file is there but cannot run, started for real: the user reads that it did
// not start, its full path and the system's reason, instead of a click that does nothing.
struct UnstartableModuleCase {
    const char* name;
    const char* content;
    std::filesystem::perms permissions;
    const char* reason;
};

class UnstartableModule : public LaunchFlowTest,
                          public ::testing::WithParamInterface<UnstartableModuleCase> {};

TEST_P(UnstartableModule, IsReportedWithItsNameAndTheSystemsMessage) {
    const UnstartableModuleCase& c = GetParam();
    const auto module = test::WriteFile(folder_.Path(), "Morvik.exe", c.content);
    std::filesystem::permissions(module, c.permissions);
    system_.startProgram = StartDetachedProcess;

    flow_.StartModule(*FindClickArea("stock"));
    Complete(0, clock_);

    EXPECT_THAT(view_.messages,
                ElementsAre(ShownMessage{MessageKind::Error,
                                         "Não foi possível iniciar o módulo.\r\n" +
                                             settings_.localPath + "Morvik.exe\r\n" + c.reason}));
    EXPECT_FALSE(view_.panelShown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnstartableModule,
    ::testing::Values(
        // A program copied from a share that showed it without the right to run.
        UnstartableModuleCase{"WithoutExecuteBit", "#!/bin/sh\nexit 0\n",
                              std::filesystem::perms(0644), "Permission denied"},
        // Text with the right to run: not a program the system can load.
        UnstartableModuleCase{"NotAProgram", "Morvik\n", std::filesystem::perms(0755),
                              "Exec format error"}),
    [](const auto& c) { return std::string(c.param.name); });

// While runs are under way the panel's progress line is redrawn on every tick whose figures
// differ from the last shown, from the jobs of every run under way; it clears, and its ticks
// stop, when the panel comes down.
TEST_F(LaunchFlowTest, TheProgressLineFollowsTheRunsUnderWay) {
    flow_.StartStartupRun();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(view_.progressTicks, kProgressInterval);
    const std::string ini = "central.ini", dll = "gds32.dll", module = "Morvik.exe";
    FileRecord serverIni(ini, 1.0), serverDll(dll, 1.0), serverModule(module, 1.0);
    serverIni.size = std::uint64_t{3} << 20;
    serverDll.size = std::uint64_t{1} << 20;
    serverModule.size = std::uint64_t{4} << 20;
    runs_[0].observer->FileCompared({ini, std::nullopt, &serverIni, true});
    runs_[0].observer->FileCompared({dll, std::nullopt, &serverDll, true});
    flow_.ProgressTick();
    runs_[0].observer->BytesArrived(ini, std::uint64_t{2} << 20);
    flow_.ProgressTick();
    flow_.ProgressTick(); // nothing changed: nothing redrawn

    flow_.StartModule(*FindClickArea("stock")); // a second run adds its files
    ASSERT_EQ(runs_.size(), 2u);
    runs_[1].observer->FileCompared({module, std::nullopt, &serverModule, true});
    runs_[0].observer->FileDone(ini, FileOutcome::Updated, "");
    flow_.ProgressTick();
    EXPECT_THAT(view_.progressLines,
                ElementsAre("0 de 2 arquivos · 0 de 4 MB", "0 de 2 arquivos · 2 de 4 MB",
                            "1 de 3 arquivos · 3 de 8 MB"));

    Complete(0, clock_);
    EXPECT_TRUE(view_.panelShown);
    EXPECT_EQ(view_.progressTicks, kProgressInterval);
    Complete(1, clock_);
    EXPECT_FALSE(view_.panelShown);
    EXPECT_EQ(view_.progressTicks, std::nullopt);
    EXPECT_EQ(view_.progressLines.back(), "");
    // The next run's figures start from nothing.
    flow_.StartStartupRun();
    runs_[2].observer->FileCompared({dll, std::nullopt, &serverDll, true});
    flow_.ProgressTick();
    EXPECT_EQ(view_.progressLines.back(), "0 de 1 arquivo · 0 de 1 MB");
}

struct AreaCase {
    const char* area;
    const char* module; // empty: no run
    bool additionalFiles;
};

class LaunchFlowAreaTest : public LaunchFlowTest, public ::testing::WithParamInterface<AreaCase> {};

// A module brings the shared files along, a remote-support tool only its own file; the other
// areas start no run at all.
TEST_P(LaunchFlowAreaTest, EachKindOfArea) {
    const AreaCase& c = GetParam();
    flow_.StartModule(*FindClickArea(c.area));
    if (std::string(c.module).empty()) {
        EXPECT_TRUE(runs_.empty());
        EXPECT_TRUE(view_.calls.empty());
        EXPECT_EQ(flow_.SelectedModule(), "");
        return;
    }
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].moduleName, c.module);
    EXPECT_EQ(runs_[0].additionalFiles, c.additionalFiles);
}

INSTANTIATE_TEST_SUITE_P(Areas, LaunchFlowAreaTest,
                         ::testing::Values(AreaCase{"stock", "Morvik.exe", true},
                                           AreaCase{"remoteSupport1", "TeamViewerQS_pt.exe", false},
                                           AreaCase{"supportMail", "", false},
                                           AreaCase{"makerContact", "", false}),
                         [](const auto& c) { return std::string(c.param.area); });

// A module on neither side: the message names the full path on its second line.
TEST_F(LaunchFlowTest, ModuleNotInstalled) {
    flow_.StartModule(*FindClickArea("remoteSupport2"));
    Complete(0, clock_);
    EXPECT_TRUE(started_.empty());
    EXPECT_THAT(view_.messages, ElementsAre(ShownMessage{MessageKind::Information,
                                                         "Módulo não instalado.\r\n" +
                                                             settings_.localPath + "Supremo.exe"}));
    EXPECT_FALSE(view_.panelShown);
}

// A folder is not a module.
TEST_F(LaunchFlowTest, FolderOfTheModulesNameIsNotInstalled) {
    std::filesystem::create_directory(folder_.Path() / "Morvik.exe");
    flow_.StartModule(*FindClickArea("stock"));
    Complete(0, clock_);
    EXPECT_TRUE(started_.empty());
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages[0].kind, MessageKind::Information);
}

// The start-up run: the shared files alone; its end hides the panel, sets the caption and
// starts nothing.
TEST_F(LaunchFlowTest, StartupRunStartsNothing) {
    system_.timeSeparator = "."; // the user's locale writes times as 10.30
    flow_.StartStartupRun();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].moduleName, "");
    EXPECT_TRUE(runs_[0].additionalFiles);
    EXPECT_EQ(flow_.SelectedModule(), "");
    Complete(0, clock_ + ((60 + 2) * 60 + 3) * 1000 * kMillisecond + 4 * kMillisecond);
    EXPECT_EQ(view_.caption, "Corvane Plexa Tempo do update : 02.03.004");
    EXPECT_FALSE(view_.panelShown);
    EXPECT_TRUE(started_.empty());
    EXPECT_TRUE(view_.messages.empty());
}

// Two clicks before the first run ends, the second run ending first: each run starts the module
// clicked for it and shows its own time; the panel stays until the last run has ended.
TEST_F(LaunchFlowTest, OverlappingRunsEachStartTheirOwnModule) {
    Install("Morvik.exe");
    Install("TeamViewerQS_pt.exe");
    const DateTime start = clock_;
    flow_.StartModule(*FindClickArea("stock"));
    clock_ = start + 1000 * kMillisecond;
    flow_.StartModule(*FindClickArea("remoteSupport1"));
    EXPECT_EQ(flow_.SelectedModule(), settings_.localPath + "TeamViewerQS_pt.exe");
    EXPECT_EQ(flow_.RunsUnderway(), 2);

    Complete(1, start + 2000 * kMillisecond);
    EXPECT_EQ(flow_.RunsUnderway(), 1);
    EXPECT_TRUE(view_.panelShown);
    EXPECT_EQ(view_.caption, "Corvane Plexa Tempo do update : 00:01.000");
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0].program, settings_.localPath + "TeamViewerQS_pt.exe");

    Complete(0, start + 5000 * kMillisecond);
    EXPECT_EQ(flow_.RunsUnderway(), 0);
    EXPECT_FALSE(view_.panelShown);
    EXPECT_EQ(view_.caption, "Corvane Plexa Tempo do update : 00:05.000");
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[1].program, settings_.localPath + "Morvik.exe");
}

// A click already waiting when the panel is painted is handled inside ShowWaitPanel: it starts
// its own run, and both runs are counted.
TEST_F(LaunchFlowTest, ClickHandledWhileThePanelPaints) {
    Install("Morvik.exe");
    Install("Yestra.exe");
    bool clicked = false;
    view_.onShowWaitPanel = [&] {
        if (std::exchange(clicked, true))
            return;
        flow_.StartModule(*FindClickArea("examinations"));
    };
    flow_.StartModule(*FindClickArea("stock"));
    ASSERT_EQ(runs_.size(), 2u);
    EXPECT_EQ(flow_.RunsUnderway(), 2);
    Complete(0, clock_);
    Complete(1, clock_);
    EXPECT_FALSE(view_.panelShown);
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[0].program, settings_.localPath + "Yestra.exe");
    EXPECT_EQ(started_[1].program, settings_.localPath + "Morvik.exe");
}

// Nowhere to update from (no server folder, a URL of blanks): no run, no panel; the panel that
// shows from the start comes down with the start-up run, and a click leaves it down.
TEST_F(LaunchFlowTest, NothingConfiguredStartsNoRun) {
    settings_.remotePath = "";
    settings_.url = " \t ";
    flow_.StartStartupRun();
    EXPECT_TRUE(runs_.empty());
    EXPECT_EQ(flow_.RunsUnderway(), 0);
    EXPECT_FALSE(view_.panelShown);
    flow_.StartModule(*FindClickArea("stock"));
    EXPECT_TRUE(runs_.empty());
    EXPECT_FALSE(view_.panelShown);
    EXPECT_EQ(view_.caption, "");
    EXPECT_THAT(view_.calls, ElementsAre("HideWaitPanel", "HideWaitPanel"));
}

// A URL alone is something to update from.
TEST_F(LaunchFlowTest, ServiceAloneIsConfigured) {
    settings_.remotePath = "";
    settings_.url = "http://srv01:8080";
    flow_.StartStartupRun();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].url, "http://srv01:8080");
}

// A run whose lists cannot be built: the error leaves the click, the run is over and the panel
// comes down, unless another run is still under way; a later click runs again.
TEST_F(LaunchFlowTest, RunThatFailsToStartEndsAtOnce) {
    Install("Morvik.exe");
    flow_.StartStartupRun();
    executeFailure_ = "The specified path was not found";
    EXPECT_THAT([&] { flow_.StartModule(*FindClickArea("stock")); },
                ::testing::ThrowsMessage<Exception>("The specified path was not found"));
    EXPECT_EQ(flow_.RunsUnderway(), 1);
    EXPECT_TRUE(view_.panelShown);
    Complete(0, clock_);
    EXPECT_FALSE(view_.panelShown);

    EXPECT_THROW(flow_.StartModule(*FindClickArea("stock")), Exception);
    EXPECT_EQ(flow_.RunsUnderway(), 0);
    EXPECT_FALSE(view_.panelShown);
    executeFailure_.clear();
    flow_.StartModule(*FindClickArea("stock"));
    Complete(runs_.size() - 1, clock_);
    ASSERT_EQ(started_.size(), 1u);
}

// A run that ends after the flow has gone (the window closed) touches nothing.
TEST(LaunchFlowLifetimeTest, RunEndingAfterTheFlowIsDropped) {
    FakeLauncherView view;
    LauncherSystem system;
    std::vector<ThreadMethod> completions;
    std::vector<RecordedRun> runs(1);
    system.newUpdater = [&](const std::string&, const std::string&, const std::string&,
                            ThreadMethod onTerminate, std::shared_ptr<FilesUpdaterObserver>) {
        completions.push_back(std::move(onTerminate));
        return std::make_shared<RecordingUpdater>(runs, 0, nullptr);
    };
    system.now = [] { return 45000.0; };
    LauncherSettings settings;
    settings.remotePath = "/srv/";
    {
        LaunchFlow flow(view, system, settings);
        flow.StartStartupRun();
    }
    ASSERT_EQ(completions.size(), 1u);
    const size_t callsBefore = view.calls.size();
    completions[0]();
    EXPECT_EQ(view.calls.size(), callsBefore);
}

// The real updater against a server folder: the module and the shared files arrive, the
// completion comes through the main thread, and the module starts.
class LaunchFlowRealRunTest : public testing::MainThreadFixture {};

TEST_F(LaunchFlowRealRunTest, ModuleArrivesAndStarts) {
    test::TempFolder local;
    test::TempFolder server;
    test::WriteFile(server.Path(), "Morvik.exe", "module", test::TestAge());
    test::WriteFile(server.Path(), "gds32.dll", "shared", test::TestAge(1));
    test::WriteFile(server.Path(), "Outro.exe", "other", test::TestAge(2));
    FakeLauncherView view;
    LauncherSystem system = PlatformLauncherSystem();
    std::vector<std::string> startedPrograms;
    system.startProgram = [&](const std::string& program, const StartupInfo&) {
        startedPrograms.push_back(program);
        return true;
    };
    system.runLogPath = (local.Path() / "Logs" / "corvane-update.log").string();
    system.launcherVersion = "2019.1.0.4";
    LauncherSettings settings;
    settings.localPath = local.Folder();
    settings.remotePath = server.Folder();
    LaunchFlow flow(view, system, settings);
    flow.StartModule(*FindClickArea("stock"));
    ASSERT_TRUE(RunLoopUntil([&] { return flow.RunsUnderway() == 0; }));
    // The run is logged: its start names the module, the server and the version; then the
    // module and the 46 shared files, and the end.
    const std::string log = test::ReadFile(local.Path() / "Logs" / "corvane-update.log");
    EXPECT_EQ(log.rfind("{\"time\":", 0), 0u) << log;
    EXPECT_NE(log.find("\"event\":\"start\",\"module\":\"Morvik.exe\",\"source\":\"" +
                       server.Folder() + "\",\"version\":\"2019.1.0.4\"}"),
              std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 49);
    std::filesystem::remove_all(local.Path() / "Logs");
    EXPECT_THAT(test::FilesUnder(local.Path()), ElementsAre("Morvik.exe", "gds32.dll"));
    EXPECT_THAT(startedPrograms, ElementsAre(local.Folder() + "Morvik.exe"));
    EXPECT_FALSE(view.panelShown);
    EXPECT_TRUE(reported_.empty());
}

} // namespace
} // namespace corvane
