// The shell's decisions around the window, with a view of the test's own: start-up from
// Corvane.ini, what closing and minimising do, the tray icon (also one whose notification area
// comes late), the menu commands, a second start, the start-up run and the self-replacement
// check once per start.
#include "shell/Launcher.h"

#include "platform/Errors.h"
#include "platform/Process.h"
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
    LauncherTest() { view_.launcher = &launcher_; }

    // What the system was asked to do besides the view, in the view's call log.
    LauncherSystem RecordingSystem() {
        LauncherSystem system;
        system.now = [] { return 45000.0; };
        system.currentDir = [] { return std::string("/home/posto/Corvane"); };
        system.startProgram = [this](const std::string& program, const StartupInfo&) {
            view_.calls.push_back("Start " + program);
            return true;
        };
        system.newUpdater =
            [this](const std::string&, const std::string&, const std::string&, ThreadMethod,
                   std::shared_ptr<FilesUpdaterObserver>) -> std::shared_ptr<FilesUpdater> {
            view_.calls.push_back("NewUpdater");
            throw Exception("no updater here");
        };
        return system;
    }

    test::TempFolder folder_;
    FakeLauncherView view_;
    Launcher launcher_{view_, RecordingSystem()};
};

// Start adds the tray icon first, reads Corvane.ini from the given folder, shows the start
// caption and makes the report folder.
TEST_F(LauncherTest, StartReadsTheConfigurationAndMakesTheReportFolder) {
    test::WriteFile(folder_.Path(), "Corvane.ini",
                    "[Servidor]\nLocal Exe=\\\\srv01\\corvane\nurl=http://srv01\n");
    launcher_.Start(folder_.Folder());
    EXPECT_THAT(view_.calls, ElementsAre("AddTrayIcon", "SetCaption"));
    EXPECT_EQ(view_.caption, "Corvane Plexa [2019.01.00]");
    EXPECT_EQ(launcher_.Settings().localPath, folder_.Folder());
    EXPECT_EQ(launcher_.Settings().remotePath, "\\\\srv01\\corvane\\");
    EXPECT_EQ(launcher_.Settings().url, "http://srv01");
    EXPECT_TRUE(launcher_.HasTrayIcon());
    EXPECT_FALSE(launcher_.ClosingEndsProgram());
    EXPECT_TRUE(fs::is_directory(folder_.Path() / "Relatorio"));
}

TEST_F(LauncherTest, ExistingReportFolderIsKept) {
    fs::create_directories(folder_.Path() / "Relatorio" / "Layouts");
    launcher_.Start(folder_.Folder());
    EXPECT_TRUE(fs::is_directory(folder_.Path() / "Relatorio" / "Layouts"));
}

// A file named "Relatorio" keeps the folder from being made: the error comes last, after
// everything else Start does.
TEST_F(LauncherTest, ReportFolderFailureComesLast) {
    test::WriteFile(folder_.Path(), "Relatorio", "not a folder");
    test::WriteFile(folder_.Path(), "Corvane.ini", "[Servidor]\nurl=http://srv01\n");
    EXPECT_THAT([&] { launcher_.Start(folder_.Folder()); },
                ::testing::ThrowsMessage<Exception>(
                    "Não Criou o Diretório Relatorio. Contacte o Corvane."));
    EXPECT_EQ(view_.caption, "Corvane Plexa [2019.01.00]");
    EXPECT_EQ(launcher_.Settings().url, "http://srv01");
    EXPECT_TRUE(launcher_.HasTrayIcon());
    EXPECT_TRUE(fs::is_regular_file(folder_.Path() / "Relatorio"));
}

// Closing only minimises; minimised with a tray icon the window hides into the tray; the tray's
// double-click and the menu's first command bring it back.
TEST_F(LauncherTest, CloseMinimisesIntoTheTray) {
    launcher_.Start(folder_.Folder());
    EXPECT_FALSE(launcher_.WindowClosing());
    EXPECT_TRUE(view_.minimised);
    launcher_.WindowMinimised();
    EXPECT_TRUE(view_.hidden);
    launcher_.TrayIconEvent(TrayHost::ClicksApart, TrayEvent::DoubleClick);
    EXPECT_FALSE(view_.hidden);
    EXPECT_FALSE(view_.minimised);

    EXPECT_FALSE(launcher_.WindowClosing());
    launcher_.WindowMinimised();
    launcher_.OpenCommand();
    EXPECT_FALSE(view_.hidden);
    EXPECT_FALSE(view_.minimised);
    EXPECT_FALSE(launcher_.ClosingEndsProgram());
    EXPECT_EQ(std::count(view_.calls.begin(), view_.calls.end(), "EndProgram"), 0);
}

// Without a notification area the minimised window stays on the task bar (hidden, it could not
// be reached again); once an area that came late takes the icon, minimising hides it.
TEST_F(LauncherTest, LateTrayHost) {
    view_.trayHostPresent = false;
    launcher_.Start(folder_.Folder());
    EXPECT_FALSE(launcher_.HasTrayIcon());
    EXPECT_FALSE(launcher_.WindowClosing());
    launcher_.WindowMinimised();
    EXPECT_TRUE(view_.minimised);
    EXPECT_FALSE(view_.hidden);

    launcher_.TrayIconAdded();
    EXPECT_TRUE(launcher_.HasTrayIcon());
    launcher_.OpenCommand();
    EXPECT_FALSE(launcher_.WindowClosing());
    launcher_.WindowMinimised();
    EXPECT_TRUE(view_.hidden);
}

// The menu's close command ends the program: the window's close comes back, and it ends.
TEST_F(LauncherTest, CloseCommandEndsTheProgram) {
    launcher_.Start(folder_.Folder());
    view_.calls.clear();
    launcher_.CloseCommand();
    EXPECT_TRUE(launcher_.ClosingEndsProgram());
    EXPECT_TRUE(view_.closed);
    EXPECT_THAT(view_.calls, ElementsAre("Close", "EndProgram"));
    EXPECT_FALSE(view_.minimised);
}

TEST_F(LauncherTest, TrayMenuNearTheScreenCorner) {
    launcher_.TrayIconEvent(TrayHost::SingleActivation, TrayEvent::MenuRequest);
    EXPECT_THAT(view_.calls, ElementsAre("ShowMenuNearScreenCorner"));
    constexpr ScreenPoint point = TrayMenuPoint(1280, 1024);
    EXPECT_EQ(point.x, 1260);
    EXPECT_EQ(point.y, 1004);
}

TEST_F(LauncherTest, SecondStartBringsTheWindowBack) {
    view_.minimised = true;
    view_.hidden = true;
    launcher_.SecondStartArrived();
    EXPECT_THAT(view_.calls, ElementsAre("RestoreAndBringToFront"));
    EXPECT_FALSE(view_.hidden);
    EXPECT_FALSE(view_.minimised);
}

// The start-up run is scheduled when the window is first shown, not each time it comes back
// from the tray.
TEST_F(LauncherTest, StartupRunScheduledOnce) {
    launcher_.WindowShown();
    launcher_.WindowShown();
    EXPECT_THAT(view_.scheduledRuns, ElementsAre(std::chrono::milliseconds(200)));
}

// The due start-up run goes to the launch flow: with a server it builds an updater.
TEST_F(LauncherTest, DueStartupRunStartsARun) {
    launcher_.UseServer(folder_.Folder(), "/srv/corvane/", "");
    EXPECT_THROW(launcher_.StartupRunDue(), Exception);
    EXPECT_THAT(view_.calls, ElementsAre("ShowWaitPanel", "NewUpdater", "HideWaitPanel"));
    EXPECT_EQ(launcher_.RunsUnderway(), 0);
}

// The self-replacement's outcome decides the notice and whether the launcher ends and starts
// its new copy. The files live in memory: name -> {version, size}.
struct ReplacementCase {
    const char* name;
    std::map<std::string, std::pair<std::string, int64_t>> files;
    bool copyKeepsSize;
    std::vector<std::string> calls;
    // The system's message of a start of the new copy that fails; nullptr: it starts.
    const char* startError = nullptr;
    // The copies in the current folder afterwards, by name -> version; empty: not looked at.
    std::map<std::string, std::string> left = {};
};

class SelfReplacementCheckTest : public ::testing::TestWithParam<ReplacementCase> {};

TEST_P(SelfReplacementCheckTest, OnFirstActivation) {
    const ReplacementCase& c = GetParam();
    FakeLauncherView view;
    std::map<std::string, std::pair<std::string, int64_t>> files = c.files;
    int fileChecks = 0;
    LauncherSystem system;
    system.currentDir = [] { return std::string("/home/posto/Corvane"); };
    system.startProgram = [&](const std::string& program, const StartupInfo& info) {
        view.calls.push_back(
            "Start " + program +
            (info == StartupInfo{true, ShowWindow::ShowNormal} ? " normally" : " hidden"));
        if (c.startError)
            throw SystemError(c.startError, 8);
    };
    system.selfReplacementFiles.fileExists = [&](const std::string& path) {
        ++fileChecks;
        return files.contains(path);
    };
    system.selfReplacementFiles.fileVersionOf = [&](const std::string& path) {
        return files.contains(path) ? files[path].first : std::string();
    };
    system.selfReplacementFiles.fileSizeOf = [&](const std::string& path) -> int64_t {
        return files.contains(path) ? files[path].second : -1;
    };
    system.selfReplacementFiles.copyFileOver = [&](const std::string& from, const std::string& to) {
        files[to] = files[from];
        if (!c.copyKeepsSize)
            files[to].second /= 2;
        return true;
    };
    system.selfReplacementFiles.deleteFile = [&](const std::string& path) {
        files.erase(path);
        return true;
    };
    system.selfReplacementFiles.moveFile = [&](const std::string& from, const std::string& to) {
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
    EXPECT_EQ(launcher.ClosingEndsProgram(), !c.calls.empty() && c.calls.back() == "EndProgram");
    if (!c.left.empty()) {
        std::map<std::string, std::string> left;
        for (const auto& [path, file] : files)
            if (path.starts_with("/home/posto/Corvane\\"))
                left[path.substr(path.find('\\') + 1)] = file.first;
        EXPECT_EQ(left, c.left);
    }
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
        // copy starts from the current folder after the registry has been left, and success
        // is told only once it has started.
        ReplacementCase{
            "Replaced",
            {{"/home/posto/Corvane\\Corvane.EXE", kOld}, {"/mnt/servidor\\Corvane.EXE", kNew}},
            true,
            {"LeaveSingleInstance", "Start /home/posto/Corvane\\Corvane.EXE normally",
             "ShowMessage", "Close", "EndProgram"},
            nullptr,
            {{"Corvane.EXE", kNew.first}, {"Corvane.OLD", kOld.first}}},
        // A lower version on the server replaces the local one as well.
        ReplacementCase{
            "OlderOnTheServer",
            {{"/home/posto/Corvane\\Corvane.EXE", kNew}, {"/mnt/servidor\\Corvane.EXE", kOld}},
            true,
            {"LeaveSingleInstance", "Start /home/posto/Corvane\\Corvane.EXE normally",
             "ShowMessage", "Close", "EndProgram"}},
        // A new copy that cannot start gives its place back to the one that was running, which
        // goes on; the user is told why.
        ReplacementCase{
            "NewCopyDoesNotStart",
            {{"/home/posto/Corvane\\Corvane.EXE", kOld}, {"/mnt/servidor\\Corvane.EXE", kNew}},
            true,
            {"LeaveSingleInstance", "Start /home/posto/Corvane\\Corvane.EXE normally",
             "RejoinSingleInstance", "ShowMessage"},
            "Exec format error",
            {{"Corvane.EXE", kOld.first}, {"Corvane.NEW", kNew.first}}}),
    [](const auto& c) { return std::string(c.param.name); });

// The notices' texts.
TEST(SelfReplacementNoticeTest, Texts) {
    for (const bool keepsSize : {false, true}) {
        FakeLauncherView view;
        LauncherSystem system;
        system.currentDir = [] { return std::string("/cur"); };
        system.startProgram = [](const std::string&, const StartupInfo&) { return true; };
        std::map<std::string, int64_t> sizes{{"/srv/Corvane.EXE", 10}};
        system.selfReplacementFiles.fileExists = [](const std::string&) { return true; };
        system.selfReplacementFiles.fileVersionOf = [](const std::string& path) {
            return std::string(path.starts_with("/srv") ? "2.0.0.0" : "1.0.0.0");
        };
        system.selfReplacementFiles.fileSizeOf = [&](const std::string& path) -> int64_t {
            return sizes.contains(path) ? sizes[path] : -1;
        };
        system.selfReplacementFiles.copyFileOver = [&](const std::string&, const std::string& to) {
            sizes[to] = keepsSize ? 10 : 9;
            return true;
        };
        system.selfReplacementFiles.deleteFile = [](const std::string&) { return true; };
        system.selfReplacementFiles.moveFile = [](const std::string&, const std::string&) {
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

// The self-replacement with real files whose new copy, started for real, is no program (a share
// can hold anything under the launcher's name): the previous copy is back under its name and
// keeps running, and the user reads why, with the system's message.
TEST(SelfReplacementStartTest, ANewCopyThatCannotStartIsUndone) {
    const test::TempFolder current;
    const test::TempFolder server;
    test::WriteFile(current.Path(), "Corvane.EXE", "the running launcher");
    test::WriteFile(current.Path(), "Corvane.OLD", "an older launcher");
    const auto serverCopy = test::WriteFile(server.Path(), "Corvane.EXE", "not a program\n");
    fs::permissions(serverCopy, fs::perms(0644));
    FakeLauncherView view;
    LauncherSystem system;
    system.currentDir = [&] { return current.Path().string(); };
    system.startProgram = StartDetachedProcess;
    system.selfReplacementFiles = PlatformSelfReplacementFiles();
    system.selfReplacementFiles.fileVersionOf = [&](const std::string& path) {
        return std::string(path.starts_with(server.Path().string()) ? "2.0.0.0" : "1.0.0.0");
    };
    Launcher launcher(view, system);
    view.launcher = &launcher;
    launcher.UseServer(current.Folder(), server.Folder(), "");

    launcher.WindowActivated();

    EXPECT_THAT(view.messages,
                ElementsAre(ShownMessage{MessageKind::Error,
                                         "Não foi possível iniciar a nova versão do Corvane "
                                         "Plexa.\r\nExec format error\r\nA versão anterior foi "
                                         "restaurada e continua em uso."}));
    EXPECT_THAT(view.calls,
                ElementsAre("LeaveSingleInstance", "RejoinSingleInstance", "ShowMessage"));
    EXPECT_FALSE(launcher.ClosingEndsProgram());
    EXPECT_EQ(test::ReadFile(current.Path() / "Corvane.EXE"), "the running launcher");
    // The copy that could not start is kept where the next attempt overwrites it.
    EXPECT_EQ(test::ReadFile(current.Path() / "Corvane.NEW"), "not a program\n");
    EXPECT_THAT(test::FilesUnder(current.Path()), ElementsAre("Corvane.EXE", "Corvane.NEW"));
}

// When even the previous copy cannot be put back, the user is told that too.
TEST(SelfReplacementStartTest, APreviousCopyThatCannotBeRestoredIsTold) {
    std::map<std::string, std::string> files{{"/cur\\Corvane.EXE", "1.0.0.0"},
                                             {"/srv/Corvane.EXE", "2.0.0.0"}};
    FakeLauncherView view;
    LauncherSystem system;
    system.currentDir = [] { return std::string("/cur"); };
    system.startProgram = [](const std::string&, const StartupInfo&) {
        throw SystemError("Permission denied", 13);
    };
    system.selfReplacementFiles.fileExists = [&](const std::string& path) {
        return files.contains(path);
    };
    system.selfReplacementFiles.fileVersionOf = [&](const std::string& path) {
        return files.contains(path) ? files[path] : std::string();
    };
    system.selfReplacementFiles.fileSizeOf = [&](const std::string& path) -> int64_t {
        return files.contains(path) ? 10 : -1;
    };
    system.selfReplacementFiles.copyFileOver = [&](const std::string& from, const std::string& to) {
        files[to] = files[from];
        return true;
    };
    system.selfReplacementFiles.deleteFile = [&](const std::string& path) {
        files.erase(path);
        return true;
    };
    // Moves work until the swap is done; the way back is refused.
    int moves = 0;
    system.selfReplacementFiles.moveFile = [&](const std::string& from, const std::string& to) {
        if (++moves > 2 || files.contains(to))
            return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    };
    Launcher launcher(view, system);
    view.launcher = &launcher;
    launcher.UseServer("/cur/", "/srv/", "");

    launcher.WindowActivated();

    EXPECT_THAT(view.messages,
                ElementsAre(ShownMessage{MessageKind::Error,
                                         "Não foi possível iniciar a nova versão do Corvane "
                                         "Plexa.\r\nPermission denied\r\nNão foi possível "
                                         "restaurar a versão anterior. Contacte o Corvane."}));
    EXPECT_FALSE(launcher.ClosingEndsProgram());
}

} // namespace
} // namespace corvane
