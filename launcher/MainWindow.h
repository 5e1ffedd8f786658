// MainWindow: the launcher's window on Qt, a view of the shell (shell/Launcher.h). It draws the
// background with its click areas, the waiting panel, the pop-up menu and the tray icon, and
// forwards every event to the shell, which decides what happens.
//
//   const std::unique_ptr<MainWindow> window = MainWindow::Create(); // Corvane.ini read
//   window->show();                                                   // start-up run follows
#pragma once

#include "shell/Launcher.h"
#include "shell/LauncherView.h"

#include <QWidget>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QTimer;

namespace corvane {

class PictureArea;
class TrayIcon;
class WaitPanel;

class MainWindow : public QWidget, public LauncherView {
    Q_OBJECT
public:
    // Creates the window as the program start does: the construction, then Start. An error
    // of Start is shown through the application's error report and the window is returned all
    // the same.
    static std::unique_ptr<MainWindow> Create();

    // The window with its components and click areas; the configuration is not read yet.
    MainWindow();
    ~MainWindow() override;

    // Starts the shell (Corvane.ini, tray icon, caption, report folder); an error is reported
    // through the application's error report.
    void Start();

    // The shell behind the window: its settings and state, and its events for tests and tools.
    Launcher& Shell() { return launcher_; }
    const Launcher& Shell() const { return launcher_; }

    PictureArea* Background() const { return background_; }
    // The click area of that name (shell/ModuleTable.h), or nullptr.
    PictureArea* Area(std::string_view name) const;
    WaitPanel* WaitingPanel() const { return waitPanel_; }
    QTimer* StartupRunTimer() const { return startupRunTimer_; }
    QTimer* ProgressTimer() const { return progressTimer_; }
    QMenu* PopupMenu() const { return popupMenu_; }
    QAction* OpenAction() const { return openAction_; }
    QAction* CloseAction() const { return closeAction_; }
    TrayIcon* Tray() const { return trayIcon_; }

    // What the shell asks of its view.
    void ShowWaitPanel() override;
    void HideWaitPanel() override;
    void ShowProgress(const std::string& text) override;
    void StartProgressTicks(std::chrono::milliseconds interval) override;
    void StopProgressTicks() override;
    void SetCaption(const std::string& caption) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void ScheduleStartupRun(std::chrono::milliseconds delay) override;
    bool AddTrayIcon() override;
    void Minimise() override;
    void HideToTray() override;
    void RestoreAndBringToFront() override;
    void ShowMenuNearScreenCorner() override;
    void Close() override;
    void EndProgram() override;
    void LeaveSingleInstance() override;
    void RejoinSingleInstance() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateBackgroundAndAreas();
    void CreatePopupMenu();
    void OpenMenuOnRightClick(QWidget* widget);

    Launcher launcher_;
    PictureArea* background_ = nullptr;
    std::vector<std::pair<std::string_view, PictureArea*>> areas_;
    WaitPanel* waitPanel_ = nullptr;
    QTimer* startupRunTimer_ = nullptr;
    QTimer* progressTimer_ = nullptr;
    QMenu* popupMenu_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* closeAction_ = nullptr;
    TrayIcon* trayIcon_ = nullptr;
};

} // namespace corvane
