// The launch flow: a click on a module's area brings the module (and the shared files) up to
// date and then starts it; shortly after the window is first shown, a start-up run brings the
// shared files up to date.
#include "launcher/MainWindow.h"

#include "dialogs/MessageDialog.h"
#include "launcher/ActivityIndicator.h"
#include "launcher/ErrorBox.h"
#include "launcher/PictureArea.h"
#include "launcher/UpdateTime.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "update/FilesUpdater.h"
#include "update/MainThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QShowEvent>
#include <QTimer>

#include <utility>

namespace corvane {

namespace {

// Blanks and control characters at both ends removed, as a hand-edited setting may carry.
std::string TrimmedSetting(const std::string& AValue) {
    size_t LBegin = 0;
    size_t LEnd = AValue.size();
    while (LBegin < LEnd && static_cast<unsigned char>(AValue[LBegin]) <= ' ')
        ++LBegin;
    while (LEnd > LBegin && static_cast<unsigned char>(AValue[LEnd - 1]) <= ' ')
        --LEnd;
    return AValue.substr(LBegin, LEnd - LBegin);
}

} // namespace

void TFrmMenu::ConnectLaunchHandlers() {
    for (TImage* LArea : findChildren<TImage*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (FModuleOptions->GetModule(LArea).FModuleName.empty())
            continue; // Not a module's area (the picture, e-mail, maker).
        connect(LArea, &TImage::clicked, this,
                [this, LArea] { RunGuarded([this, LArea] { imgClick(LArea); }); });
    }
    connect(Timer1, &QTimer::timeout, this,
            [this] { RunGuarded([this] { Timer1Timer(Timer1); }); });
}

void TFrmMenu::UseServer(std::string ALocalPath, std::string ARemotePath, std::string AUrl) {
    FLocalPath = std::move(ALocalPath);
    FRemotePath = std::move(ARemotePath);
    wCaminhoServidor = FRemotePath;
    FUrl = std::move(AUrl);
}

void TFrmMenu::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    // Spontaneous show events are the desktop restoring the window, not the window being shown.
    if (!AEvent->spontaneous())
        RunGuarded([this] { FormShow(this); });
}

void TFrmMenu::imgClick(QObject* Sender) {
    const TModuleOptions::TModuleInfo LModule = FModuleOptions->GetModule(Sender);
    if (LModule.FModuleName.empty())
        return; // Not a module's area: an empty name would start a run of the shared files.
    SelectModule(LModule.FModuleName, LModule.FAdditionalFiles);
}

void TFrmMenu::SelectModule(const std::string& AModuleName, bool AAdditionalFiles) {
    // FLocalPath ends in a delimiter.
    FSelectedModule = FLocalPath + AModuleName;
    RunUpdate(AModuleName, AAdditionalFiles, [this, LModule = FSelectedModule](TDateTime AStart) {
        StartSelectedModule(LModule, AStart);
    });
}

void TFrmMenu::RunUpdate(const std::string& AModuleName, bool AAdditionalFiles,
                         const std::function<void(TDateTime AStart)>& ACallback) {
    if (FRemotePath.empty() && TrimmedSetting(FUrl).empty()) {
        // Nowhere to update from. No run will hide the panel the layout shows at start.
        HideWaitPanelWhenIdle();
        return;
    }
    ++FRunsUnderway;
    const TDateTime LStart = ShowWaitPanel();
    // The window may be gone when a run completes (the application ending).
    const QPointer<TFrmMenu> LWindow(this);
    try {
        const std::shared_ptr<IFilesUpdater> LUpdater =
            TFilesUpdater::New(FLocalPath, FRemotePath, FUrl, [LWindow, ACallback, LStart] {
                if (LWindow)
                    ACallback(LStart);
            });
        LUpdater->Execute(AModuleName, AAdditionalFiles);
    } catch (...) {
        // No completion will come: the run ends here, and the handler's guard reports it.
        EndRun();
        throw;
    }
}

TDateTime TFrmMenu::ShowWaitPanel() {
    FStart = Now();
    pnlTemporizador->show();
    aciTemporizador->SetAnimate(true);
    // The panel is painted before the list building keeps the main thread busy.
    QCoreApplication::processEvents();
    return FStart;
}

void TFrmMenu::EndRun() {
    if (FRunsUnderway > 0)
        --FRunsUnderway;
    HideWaitPanelWhenIdle();
}

void TFrmMenu::HideWaitPanelWhenIdle() {
    if (FRunsUnderway == 0) {
        pnlTemporizador->hide();
        aciTemporizador->SetAnimate(false);
    }
}

void TFrmMenu::ShowUpdateTime(TDateTime AStart) {
    EndRun();
    const TDateTime LElapsed = Now() - AStart;
    setWindowTitle(QCoreApplication::applicationName() + QStringLiteral(" Tempo do update : ") +
                   FormatUpdateTime(LElapsed, LocaleTimeSeparator()));
}

void TFrmMenu::StartSelectedModule(const std::string& AModule, TDateTime AStart) {
    ShowUpdateTime(AStart);
    if (FileExists(AModule)) {
        // A failed start is not reported: the module's own trouble, not the launcher's.
        StartDetachedProcess(AModule, StartupInfo);
    } else {
        MessageAt(QStringLiteral("Módulo não instalado.\r\n") + QString::fromStdString(AModule),
                  mtInformation, {}, 0, -1, -1, QString());
    }
}

void TFrmMenu::FormShow(QObject*) {
    Timer1->start();
}

void TFrmMenu::Timer1Timer(QObject*) {
    Timer1->stop();
    RunUpdate(std::string(), true, [this](TDateTime AStart) { ShowUpdateTime(AStart); });
}

} // namespace corvane
