// The shell's decisions around the window, with a view of the test's own: start-up from
// Corvane.ini, what closing and minimising do, the tray icon (also one whose notification area
// comes late), the menu commands, a second start, the start-up run and the self-replacement
// check once per start.
#include "shell/Launcher.h"

#include "platform/Errors.h"
#include "tests/shell/FakeLauncherView.h"
#include "tests/support/FileTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace corvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeLauncherView;
using testing::ShownMessage;

namespace fs = std::filesystem;

class LauncherTest : public ::testing::Test {
protected:
    LauncherTest() { view.launcher = &launcher; }

    // What the system was asked to do besides the view, in the view's call log.
    LauncherSystem RecordingSystem() {
        LauncherSystem system;
        system.now = [] { return 45000.0; };
        system.currentDir = [] { return std::string("/home/posto/Corvane"); };
        system.startProgram = [this](const std::string& program, const TStartupInfo&) {
            view.calls.push_back("Start " + program);
            return true;
        };
        system.newUpdater =
            [this](const std::string&, const std::string&, const std::string&, TThreadMethod,
                   std::shared_ptr<IFilesUpdaterObserver>) -> std::shared_ptr<IFilesUpdater> {
            view.calls.push_back("NewUpdater");
            throw Exception("no updater here");
        };
        return system;
    }

    test::TTempFolder folder;
    FakeLauncherView view;
    Launcher launcher{view, RecordingSystem()};
};

// Start adds the tray icon first, reads Corvane.ini from the given folder, shows the start
// caption and makes the report folder.
TEST_F(LauncherTest, StartReadsTheConfigurationAndMakesTheReportFolder) {
    test::WriteFile(folder.Path(), "Corvane.ini",
                    "[Servidor]\nLocal Exe=\\\\srv01\\corvane\nurl=http://srv01\n");
    launcher.Start(folder.Folder());
    EXPECT_THAT(view.calls, ElementsAre("AddTrayIcon", "SetCaption"));
    EXPECT_EQ(view.caption, "Corvane Plexa [2019.01.00]");
    EXPECT_EQ(launcher.Settings().localPath, folder.Folder());
    EXPECT_EQ(launcher.Settings().remotePath, "\\\\srv01\\corvane\\");
    EXPECT_EQ(launcher.Settings().url, "http://srv01");
    EXPECT_TRUE(launcher.HasTrayIcon());
    EXPECT_FALSE(launcher.ClosingEndsProgram());
    EXPECT_TRUE(fs::is_directory(folder.Path() / "Relatorio"));
}

TEST_F(LauncherTest, ExistingReportFolderIsKept) {
    fs::create_directories(folder.Path() / "Relatorio" / "Layouts");
    launcher.Start(folder.Folder());
    EXPECT_TRUE(fs::is_directory(folder.Path() / "Relatorio" / "Layouts"));
}

// A file named "Relatorio" keeps the folder from being made: the error comes last, after
// everything else Start does.
TEST_F(LauncherTest, ReportFolderFailureComesLast) {
    test::WriteFile(folder.Path(), "Relatorio", "not a folder");
    test::WriteFile(folder.Path(), "Corvane.ini", "[Servidor]\nurl=http://srv01\n");
    EXPECT_THAT([&] { launcher.Start(folder.Folder()); },
                ::testing::ThrowsMessage<Exception>(
                    "Não Criou o Diretório Relatorio. Contacte o Corvane."));
    EXPECT_EQ(view.caption, "Corvane Plexa [2019.01.00]");
    EXPECT_EQ(launcher.Settings().url, "http://srv01");
    EXPECT_TRUE(launcher.HasTrayIcon());
    EXPECT_TRUE(fs::is_regular_file(folder.Path() / "Relatorio"));
}

// Closing only minimises; minimised with a tray icon the window hides into the tray; the tray's
// double-click and the menu's first command bring it back.
TEST_F(LauncherTest, CloseMinimisesIntoTheTray) {
    launcher.Start(folder.Folder());
    EXPECT_FALSE(launcher.WindowClosing());
    EXPECT_TRUE(view.minimised);
    launcher.WindowMinimised();
    EXPECT_TRUE(view.hidden);
    launcher.TrayIconDoubleClicked();
    EXPECT_FALSE(view.hidden);
    EXPECT_FALSE(view.minimised);

    EXPECT_FALSE(launcher.WindowClosing());
    launcher.WindowMinimised();
    launcher.OpenCommand();
    EXPECT_FALSE(view.hidden);
    EXPECT_FALSE(view.minimised);
    EXPECT_FALSE(launcher.ClosingEndsProgram());
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "EndProgram"), 0);
}

// Without a notification area the minimised window stays on the task bar (hidden, it could not
// be reached again); once an area that came late takes the icon, minimising hides it.
TEST_F(LauncherTest, LateTrayHost) {
    view.trayHostPresent = false;
    launcher.Start(folder.Folder());
    EXPECT_FALSE(launcher.HasTrayIcon());
    EXPECT_FALSE(launcher.WindowClosing());
    launcher.WindowMinimised();
    EXPECT_TRUE(view.minimised);
    EXPECT_FALSE(view.hidden);

    launcher.TrayIconAdded();
    EXPECT_TRUE(launcher.HasTrayIcon());
    launcher.OpenCommand();
    EXPECT_FALSE(launcher.WindowClosing());
    launcher.WindowMinimised();
    EXPECT_TRUE(view.hidden);
}

// The menu's close command ends the program: the window's close comes back, and it ends.
TEST_F(LauncherTest, CloseCommandEndsTheProgram) {
    launcher.Start(folder.Folder());
    view.calls.clear();
    launcher.CloseCommand();
    EXPECT_TRUE(launcher.ClosingEndsProgram());
    EXPECT_TRUE(view.closed);
    EXPECT_THAT(view.calls, ElementsAre("Close", "EndProgram"));
    EXPECT_FALSE(view.minimised);
}

TEST_F(LauncherTest, TrayMenuNearTheScreenCorner) {
    launcher.TrayMenuRequested();
    EXPECT_THAT(view.calls, ElementsAre("ShowMenuNearScreenCorner"));
    constexpr ScreenPoint point = TrayMenuPoint(1280, 1024);
    EXPECT_EQ(point.x, 1260);
    EXPECT_EQ(point.y, 1004);
}

TEST_F(LauncherTest, SecondStartBringsTheWindowBack) {
    view.minimised = true;
    view.hidden = true;
    launcher.SecondStartArrived();
    EXPECT_THAT(view.calls, ElementsAre("RestoreAndBringToFront"));
    EXPECT_FALSE(view.hidden);
    EXPECT_FALSE(view.minimised);
}

// The start-up run is scheduled when the window is first shown, not each time it comes back
// from the tray.
TEST_F(LauncherTest, StartupRunScheduledOnce) {
    launcher.WindowShown();
    launcher.WindowShown();
    EXPECT_THAT(view.scheduledRuns, ElementsAre(std::chrono::milliseconds(200)));
}

// The due start-up run goes to the launch flow: with a server it builds an updater.
TEST_F(LauncherTest, DueStartupRunStartsARun) {
    launcher.UseServer(folder.Folder(), "/srv/corvane/", "");
    EXPECT_THROW(launcher.StartupRunDue(), Exception);
    EXPECT_THAT(view.calls, ElementsAre("ShowWaitPanel", "NewUpdater", "HideWaitPanel"));
    EXPECT_EQ(launcher.RunsUnderway(), 0);
}

// The self-replacement's outcome decides the notice and whether the launcher ends and starts
// its new copy. The files live in memory: name -> {version, size}.
struct ReplacementCase {
    const char* name;
    std::map<std::string, std::pair<std::string, int64_t>> files;
    bool copyKeepsSize;
    std::vector<std::string> calls;
};

class SelfReplacementCheckTest : public ::testing::TestWithParam<ReplacementCase> {};

TEST_P(SelfReplacementCheckTest, OnFirstActivation) {
    const ReplacementCase& c = GetParam();
    FakeLauncherView view;
    std::map<std::string, std::pair<std::string, int64_t>> files = c.files;
    int fileChecks = 0;
    LauncherSystem system;
    system.currentDir = [] { return std::string("/home/posto/Corvane"); };
    system.startProgram = [&](const std::string& program, const TStartupInfo& info) {
        view.calls.push_back(
            "Start " + program +
            (info == TStartupInfo{true, TShowWindow::ShowNormal} ? " normally" : " hidden"));
        return true;
    };
    system.selfReplacementFiles.FileExists = [&](const std::string& path) {
        ++fileChecks;
        return files.contains(path);
    };
    system.selfReplacementFiles.FileVersionOf = [&](const std::string& path) {
        return files.contains(path) ? files[path].first : std::string();
    };
    system.selfReplacementFiles.FileSizeOf = [&](const std::string& path) -> int64_t {
        return files.contains(path) ? files[path].second : -1;
    };
    system.selfReplacementFiles.CopyFileOver = [&](const std::string& from, const std::string& to) {
        files[to] = files[from];
        if (!c.copyKeepsSize)
            files[to].second /= 2;
        return true;
    };
    system.selfReplacementFiles.DeleteFile = [&](const std::string& path) {
        files.erase(path);
        return true;
    };
    system.selfReplacementFiles.MoveFile = [&](const std::string& from, const std::string& to) {
        if (files.contains(to))
            return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    };
    Launcher launcher(view, system);
    view.launcher = &launcher;
    launcher.UseServer("/home/posto/Corvane/", "/mnt/servidor\\", "http://srv01");
    launcher.WindowActivated();
    EXPECT_EQ(view.calls, c.calls);
    // Once per start: a later activation checks nothing.
    const int checks = fileChecks;
    launcher.WindowActivated();
    EXPECT_EQ(fileChecks, checks);
    EXPECT_EQ(launcher.ClosingEndsProgram(),
              !c.calls.empty() && c.calls.back().starts_with("Start"));
}

const std::pair<std::string, int64_t> kOld{"2019.1.0.4", 1000};
const std::pair<std::string, int64_t> kNew{"2019.1.0.9", 1200};

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SelfReplacementCheckTest,
    ::testing::Values(
        ReplacementCase{"NoServerCopy", {{"/home/posto/Corvane\\Corvane.EXE", kOld}}, true, {}},
        ReplacementCase{"SameVersion",
                        {{"/home/posto/Corvane\\Corvane.EXE", kOld},
                         {"/mnt/servidor\\Corvane.EXE", {kOld.first, 2000}}},
                        true,
                        {}},
        ReplacementCase{
            "CopyCutShort",
            {{"/home/posto/Corvane\\Corvane.EXE", kOld}, {"/mnt/servidor\\Corvane.EXE", kNew}},
            false,
            {"ShowMessage"}},
        // The server's copy is looked for in the server folder, never on the service; the new
        // copy starts from the current folder after the registry has been left.
        ReplacementCase{
            "Replaced",
            {{"/home/posto/Corvane\\Corvane.EXE", kOld}, {"/mnt/servidor\\Corvane.EXE", kNew}},
            true,
            {"ShowMessage", "Close", "EndProgram", "LeaveSingleInstance",
             "Start /home/posto/Corvane\\Corvane.EXE normally"}},
        // A lower version on the server replaces the local one as well.
        ReplacementCase{
            "OlderOnTheServer",
            {{"/home/posto/Corvane\\Corvane.EXE", kNew}, {"/mnt/servidor\\Corvane.EXE", kOld}},
            true,
            {"ShowMessage", "Close", "EndProgram", "LeaveSingleInstance",
             "Start /home/posto/Corvane\\Corvane.EXE normally"}}),
    [](const auto& c) { return std::string(c.param.name); });

// The notices' texts.
TEST(SelfReplacementNoticeTest, Texts) {
    for (const bool keepsSize : {false, true}) {
        FakeLauncherView view;
        LauncherSystem system;
        system.currentDir = [] { return std::string("/cur"); };
        system.startProgram = [](const std::string&, const TStartupInfo&) { return true; };
        std::map<std::string, int64_t> sizes{{"/srv/Corvane.EXE", 10}};
        system.selfReplacementFiles.FileExists = [](const std::string&) { return true; };
        system.selfReplacementFiles.FileVersionOf = [](const std::string& path) {
            return std::string(path.starts_with("/srv") ? "2.0.0.0" : "1.0.0.0");
        };
        system.selfReplacementFiles.FileSizeOf = [&](const std::string& path) -> int64_t {
            return sizes.contains(path) ? sizes[path] : -1;
        };
        system.selfReplacementFiles.CopyFileOver = [&](const std::string&, const std::string& to) {
            sizes[to] = keepsSize ? 10 : 9;
            return true;
        };
        system.selfReplacementFiles.DeleteFile = [](const std::string&) { return true; };
        system.selfReplacementFiles.MoveFile = [](const std::string&, const std::string&) {
            return true;
        };
        Launcher launcher(view, system);
        launcher.UseServer("/cur/", "/srv/", "");
        launcher.WindowActivated();
        EXPECT_THAT(view.messages, ElementsAre(ShownMessage{
                                       MessageKind::Notice,
                                       keepsSize ? "Aplicação atualizada com sucesso!"
                                                 : "Copia de arquivo falhou! Tente novamente!"}));
    }
}

} // namespace
} // namespace corvane
