// Program entry of the launcher.
#include "launcher/Application.h"
#include "launcher/LauncherRestart.h"
#include "launcher/MainWindow.h"
#include "launcher/SingleInstance.h"
#include "launcher/WindowActivation.h"
#include "platform/Paths.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication LApplication(argc, argv);
    corvane::InitializeApplication();
    // A second start of this executable hands over to the running launcher and ends before
    // the window, the module table or the configuration exist.
    corvane::TSingleInstance LInstance(QString::fromStdString(corvane::ExecutablePath()));
    if (!LInstance.Claim(LApplication.arguments().mid(1)))
        return 0;
    // A self-replacement starts the new copy while this one is still ending.
    corvane::LeaveSingleInstanceBeforeRestart = corvane::LeaveInstanceRegistry;
    const std::unique_ptr<corvane::TFrmMenu> LForm = corvane::TFrmMenu::Create();
    LInstance.OnActivate = [&LForm] { corvane::RestoreAndBringToFront(*LForm); };
    LForm->show();
    return LApplication.exec();
}
