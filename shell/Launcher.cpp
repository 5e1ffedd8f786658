#include "shell/Launcher.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "shell/LauncherTexts.h"
#include "update/HttpCertificates.h"
#include "update/SelfReplacement.h"

#include <exception>
#include <string>
#include <utility>

namespace corvane {

Launcher::Launcher(LauncherView& view, LauncherSystem system)
    : view_(view), system_(std::move(system)), flow_(view_, system_, settings_),
      mail_(view_, system_.sendMail) {}

void Launcher::Start(const std::string& localPath) {
    if (!hasTrayIcon_)
        hasTrayIcon_ = view_.AddTrayIcon();
    closingEndsProgram_ = false;
    settings_ = ReadLauncherSettings(localPath);
    // Every HTTPS exchange of the launcher, at start-up and on each click, trusts it.
    SetExtraCAFile(settings_.caFile);
    view_.SetCaption(kStartCaption);
    // Last, so that a failure here skips nothing else.
    const std::string reportFolder = settings_.localPath + "Relatorio";
    if (!DirectoryExists(reportFolder) && !CreateDir(reportFolder))
        throw Exception(kReportFolderError);
}

void Launcher::Start() {
    Start(ExtractFilePath(ExecutablePath()));
}

void Launcher::UseServer(std::string localPath, std::string remotePath, std::string url) {
    settings_.localPath = std::move(localPath);
    settings_.remotePath = std::move(remotePath);
    settings_.url = std::move(url);
}

void Launcher::WindowShown() {
    // Once per start: the window coming back from the tray is shown again, too.
    if (shown_)
        return;
    shown_ = true;
    view_.ScheduleStartupRun(kStartupRunDelay);
}

void Launcher::StartupRunDue() {
    flow_.StartStartupRun();
}

void Launcher::ProgressTick() {
    flow_.ProgressTick();
}

void Launcher::WindowActivated() {
    if (activated_)
        return;
    activated_ = true;
    CheckLauncherVersion();
}

void Launcher::CheckLauncherVersion() {
    // The process's current folder, which need not be the launcher's own folder.
    const std::string currentDir = system_.currentDir();
    switch (ReplaceLauncher(settings_.remotePath, currentDir, system_.selfReplacementFiles)) {
    case SelfReplacementResult::NotDue:
        return;
    case SelfReplacementResult::Failed:
        view_.ShowMessage(MessageKind::Notice, "Copia de arquivo falhou! Tente novamente!");
        return;
    case SelfReplacementResult::Replaced:
        break;
    }
    // The new copy must find no launcher in the registry, or it would hand over to this one,
    // which is about to end.
    view_.LeaveSingleInstance();
    // Started before success is told: a copy that cannot run must not take this one's place.
    try {
        system_.startProgram(JoinPath(currentDir, kLauncherExeName), kNormalStartup);
    } catch (const std::exception& error) {
        // This launcher goes on, as the one the workstation keeps, and so is again the one a
        // second start hands over to.
        const bool restored = RestorePreviousLauncher(currentDir, system_.selfReplacementFiles);
        view_.RejoinSingleInstance();
        view_.ShowMessage(
            MessageKind::Error,
            std::string(kNewLauncherNotStartedText) + "\r\n" + error.what() + "\r\n" +
                (restored ? kPreviousLauncherRestoredText : kPreviousLauncherNotRestoredText));
        return;
    }
    view_.ShowMessage(MessageKind::Notice, "Aplicação atualizada com sucesso!");
    closingEndsProgram_ = true;
    view_.Close();
}

void Launcher::AreaClicked(const ClickArea& area) {
    switch (area.action) {
    case AreaAction::StartModule:
        flow_.StartModule(area);
        break;
    case AreaAction::SendSupportMail:
        mail_.Send();
        break;
    case AreaAction::None:
        break;
    }
}

bool Launcher::WindowClosing() {
    if (closingEndsProgram_) {
        view_.EndProgram();
        return true;
    }
    view_.Minimise();
    return false;
}

void Launcher::WindowMinimised() {
    // Minimised, the launcher lives in the tray alone. Without a tray icon the window stays on
    // the task bar: hidden, nothing could bring it back.
    if (hasTrayIcon_)
        view_.HideToTray();
}

void Launcher::TrayIconAdded() {
    hasTrayIcon_ = true;
}

void Launcher::TrayIconEvent(TrayHost host, TrayEvent event) {
    switch (RespondToTrayEvent(host, event)) {
    case TrayResponse::Restore:
        view_.RestoreAndBringToFront();
        break;
    case TrayResponse::OpenMenu:
        view_.ShowMenuNearScreenCorner();
        break;
    case TrayResponse::Nothing:
        break;
    }
}

void Launcher::OpenCommand() {
    view_.RestoreAndBringToFront();
}

void Launcher::CloseCommand() {
    closingEndsProgram_ = true;
    view_.Close();
}

void Launcher::SecondStartArrived() {
    view_.RestoreAndBringToFront();
}

} // namespace corvane
