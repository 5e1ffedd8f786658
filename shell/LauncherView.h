// What the launcher's shell asks of the window that shows it. The shell decides (which run,
// which message, when the panel shows, what closing does); a view only draws and forwards its
// events to the shell (shell/Launcher.h). The Qt window implements it, and so will a Win32 one.
// Every call comes on the main thread.
#pragma once

#include <chrono>
#include <string>

namespace corvane {

// The kinds of message the launcher shows, each with its own caption and icon.
enum class MessageKind {
    Notice,      // captioned with the application title, no icon
    Information, // "Informação"
    Error,       // "Falha"
};

class LauncherView {
public:
    virtual ~LauncherView() = default;

    // The waiting panel with its busy indicator. Shown, it is painted before the call returns,
    // since the run's comparison keeps the main thread busy right after.
    virtual void ShowWaitPanel() = 0;
    virtual void HideWaitPanel() = 0;
    // The line under the panel's busy indicator that says how far the runs have got
    // ("3 de 12 arquivos · 45 de 200 MB"); empty text shows no line.
    virtual void ShowProgress(const std::string& text) = 0;
    // Calls Launcher::ProgressTick every interval from the event loop until stopped.
    virtual void StartProgressTicks(std::chrono::milliseconds interval) = 0;
    virtual void StopProgressTicks() = 0;

    virtual void SetCaption(const std::string& caption) = 0;

    // A modal message with one OK button, centred on the screen; returns once it is closed.
    virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;

    // Calls Launcher::StartupRunDue once, after the delay, from the event loop.
    virtual void ScheduleStartupRun(std::chrono::milliseconds delay) = 0;

    // Adds the icon in the notification area. False when the desktop has none yet: the view
    // keeps looking and calls Launcher::TrayIconAdded once one has taken the icon.
    virtual bool AddTrayIcon() = 0;

    virtual void Minimise() = 0;
    // Hides the minimised window, leaving the tray icon as the way back.
    virtual void HideToTray() = 0;
    virtual void RestoreAndBringToFront() = 0;
    // Opens the pop-up menu near the bottom-right corner of the screen, whatever the mouse
    // position (see TrayMenuPoint).
    virtual void ShowMenuNearScreenCorner() = 0;

    // Closes the window as its close box does; that comes back as Launcher::WindowClosing.
    virtual void Close() = 0;
    // Ends the program once the current event has been handled.
    virtual void EndProgram() = 0;
    // Leaves the single-instance registry, so that a launcher started now is a first start.
    virtual void LeaveSingleInstance() = 0;
    // Enters the registry again after leaving it, when the launcher goes on after all; a
    // launcher that took the registry meanwhile keeps it.
    virtual void RejoinSingleInstance() = 0;
};

} // namespace corvane
