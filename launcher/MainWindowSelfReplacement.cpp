// TFrmMenu's self-replacement: on the window's first activation the launcher compares its
// executable with the server's copy, swaps them when the versions differ, ends and starts the
// new copy. The file steps and their recovery live in update/SelfReplacement.
#include "dialogs/MessageDialog.h"
#include "launcher/LauncherRestart.h"
#include "launcher/MainWindow.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "update/SelfReplacement.h"

#include <QEvent>
#include <QString>

namespace corvane {

std::function<void()> LeaveSingleInstanceBeforeRestart;

bool TFrmMenu::event(QEvent* AEvent) {
    if (AEvent->type() == QEvent::WindowActivate && !FActivatedOnce) {
        FActivatedOnce = true;
        FormActivate(this);
    }
    return QWidget::event(AEvent);
}

void TFrmMenu::FormActivate(QObject*) {
    CheckLauncherVersion();
}

void TFrmMenu::CheckLauncherVersion() {
    // The process's current folder, which need not be the launcher's own folder.
    const std::string LCurrentDir = GetCurrentDir();
    switch (ReplaceLauncher(wCaminhoServidor, LCurrentDir, PlatformSelfReplacementFiles())) {
    case TSelfReplacementResult::NotDue:
        return;
    case TSelfReplacementResult::Failed:
        ShowNotice(QStringLiteral("Copia de arquivo falhou! Tente novamente!"));
        return;
    case TSelfReplacementResult::Replaced:
        break;
    }
    ShowNotice(QStringLiteral("Aplicação atualizada com sucesso!"));
    wfecha = true;
    close();
    if (LeaveSingleInstanceBeforeRestart)
        LeaveSingleInstanceBeforeRestart();
    TStartupInfo LStartupInfo;
    LStartupInfo.UseShowWindow = true;
    LStartupInfo.ShowWindow = TShowWindow::ShowNormal;
    // Its result is not examined: the new copy is in place either way and is started by the
    // next start of the launcher.
    StartDetachedProcess(JoinPath(LCurrentDir, LauncherExeName), LStartupInfo);
}

} // namespace corvane
