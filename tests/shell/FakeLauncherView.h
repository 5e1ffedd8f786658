// A view of the launcher's shell that draws nothing: it keeps what it was told, in order, and
// the state a window would be in.
#pragma once

#include "shell/Launcher.h"
#include "shell/LauncherView.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane::testing {

struct ShownMessage {
    MessageKind kind;
    std::string text;
    friend bool operator==(const ShownMessage&, const ShownMessage&) = default;
};

class FakeLauncherView : public LauncherView {
public:
    void ShowWaitPanel() override {
        panelShown = true;
        calls.push_back("ShowWaitPanel");
        if (onShowWaitPanel)
            onShowWaitPanel();
    }
    void HideWaitPanel() override {
        panelShown = false;
        calls.push_back("HideWaitPanel");
    }
    // The progress line and its ticks are kept apart from calls: they come and go with the
    // runs' figures.
    void ShowProgress(const std::string& text) override { progressLines.push_back(text); }
    void StartProgressTicks(std::chrono::milliseconds interval) override {
        progressTicks = interval;
    }
    void StopProgressTicks() override { progressTicks.reset(); }
    void SetCaption(const std::string& text) override {
        caption = text;
        calls.push_back("SetCaption");
    }
    void ShowMessage(MessageKind kind, const std::string& text) override {
        messages.push_back({kind, text});
        calls.push_back("ShowMessage");
    }
    void ScheduleStartupRun(std::chrono::milliseconds delay) override {
        scheduledRuns.push_back(delay);
        calls.push_back("ScheduleStartupRun");
    }
    bool AddTrayIcon() override {
        calls.push_back("AddTrayIcon");
        return trayHostPresent;
    }
    void Minimise() override {
        minimised = true;
        calls.push_back("Minimise");
    }
    void HideToTray() override {
        hidden = true;
        calls.push_back("HideToTray");
    }
    void RestoreAndBringToFront() override {
        minimised = false;
        hidden = false;
        calls.push_back("RestoreAndBringToFront");
    }
    void ShowMenuNearScreenCorner() override { calls.push_back("ShowMenuNearScreenCorner"); }
    void Close() override {
        calls.push_back("Close");
        // As a window does: the close comes back to the shell.
        if (launcher)
            closed = launcher->WindowClosing();
    }
    void EndProgram() override { calls.push_back("EndProgram"); }
    void LeaveSingleInstance() override { calls.push_back("LeaveSingleInstance"); }
    void RejoinSingleInstance() override { calls.push_back("RejoinSingleInstance"); }

    // The calls, by name, in the order they came.
    std::vector<std::string> calls;
    std::vector<ShownMessage> messages;
    std::vector<std::chrono::milliseconds> scheduledRuns;
    std::string caption;
    std::vector<std::string> progressLines; // every text the progress line was given
    std::optional<std::chrono::milliseconds> progressTicks; // while ticks are asked for
    bool panelShown = true;                                 // the panel shows from the start
    bool minimised = false;
    bool hidden = false;
    bool closed = false;
    bool trayHostPresent = true;
    // Runs inside ShowWaitPanel, where a real view handles the events that are waiting.
    std::function<void()> onShowWaitPanel;
    // Set to pass Close back as the window's close.
    Launcher* launcher = nullptr;
};

} // namespace corvane::testing
