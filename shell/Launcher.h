// The launcher's shell: every decision of the main window, apart from drawing. A view (the Qt
// window, a Win32 window) creates one, forwards its events to it and draws what it is told
// through LauncherView. Main thread only; errors leave the event methods as exceptions, which
// the view reports through the application's error report.
//
//   Launcher launcher(view);
//   launcher.Start();                                     // Corvane.ini, tray icon, caption
//   launcher.WindowShown();                               // the start-up run, 200 ms later
//   if (const ClickArea* area = ClickAreaAt(x, y))
//       launcher.AreaClicked(*area);                      // update, then start the module
//   if (!launcher.WindowClosing()) IgnoreTheClose();      // closing only minimises
#pragma once

#include "shell/LaunchFlow.h"
#include "shell/LauncherSettings.h"
#include "shell/LauncherSystem.h"
#include "shell/LauncherView.h"
#include "shell/ModuleTable.h"
#include "shell/SupportMail.h"
#include "shell/TrayActivation.h"

#include <chrono>
#include <string>

namespace corvane {

// The message when the report folder cannot be created.
inline constexpr char kReportFolderError[] = "Não Criou o Diretório Relatorio. Contacte o Corvane.";

// How long after the window is first shown the start-up run begins.
inline constexpr std::chrono::milliseconds kStartupRunDelay{200};

// Where the tray icon's menu opens: this far in from the screen's bottom-right corner.
inline constexpr int kTrayMenuCornerInset = 20;

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// The point at which the tray icon's menu opens on a screen of that size.
constexpr ScreenPoint TrayMenuPoint(int screenWidth, int screenHeight) {
    return {screenWidth - kTrayMenuCornerInset, screenHeight - kTrayMenuCornerInset};
}

class Launcher {
public:
    // The view must outlive the launcher.
    explicit Launcher(LauncherView& view, LauncherSystem system = PlatformLauncherSystem());
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Once the window exists: adds the tray icon, reads Corvane.ini from localPath (the
    // launcher's own folder, ending in a delimiter), sets the start caption and, last, makes
    // sure the report folder "Relatorio" exists there; raises Exception(kReportFolderError)
    // when it cannot be created.
    void Start(const std::string& localPath);
    // The same in the folder of the launcher's own executable.
    void Start();

    // Points the launcher at other folders and service than Corvane.ini named, as a tool or a
    // test does before it starts runs. localPath ends in a path delimiter.
    void UseServer(std::string localPath, std::string remotePath, std::string url);

    // The window's events, as the view forwards them.

    // The window is shown: the first time, the start-up run is scheduled.
    void WindowShown();
    // The scheduled start-up run is due.
    void StartupRunDue();
    // A tick of the progress line, while runs are under way.
    void ProgressTick();
    // The window becomes active: the first time, the launcher's own copy is checked against
    // the server's and replaced when the versions differ.
    void WindowActivated();
    // A left click on an area.
    void AreaClicked(const ClickArea& area);
    // Any attempt to close the window. True: the window closes and the program ends. False:
    // the window stays, minimised.
    bool WindowClosing();
    // The window has been minimised.
    void WindowMinimised();
    // A notification area that came up after Start has taken the tray icon.
    void TrayIconAdded();
    // The notification area reported an event on the tray icon (see shell/TrayActivation.h).
    void TrayIconEvent(TrayHost host, TrayEvent event);
    // The pop-up menu's two commands.
    void OpenCommand();
    void CloseCommand();
    // A second start of the same executable handed over to this launcher.
    void SecondStartArrived();

    const LauncherSettings& Settings() const { return settings_; }
    int RunsUnderway() const { return flow_.RunsUnderway(); }
    const std::string& SelectedModule() const { return flow_.SelectedModule(); }
    int SupportMailsUnderway() const { return mail_.Underway(); }
    // True once closing the window ends the program (the close command, a replacement).
    bool ClosingEndsProgram() const { return closingEndsProgram_; }
    bool HasTrayIcon() const { return hasTrayIcon_; }

private:
    void CheckLauncherVersion();

    LauncherView& view_;
    LauncherSystem system_;
    LauncherSettings settings_;
    LaunchFlow flow_;
    SupportMail mail_;
    bool closingEndsProgram_ = false;
    bool hasTrayIcon_ = false;
    bool shown_ = false;
    bool activated_ = false;
};

} // namespace corvane
