// Program entry of the launcher on Qt.
#include "launcher/Application.h"
#include "launcher/ErrorBox.h"
#include "launcher/MainWindow.h"
#include "launcher/SingleInstance.h"
#include "platform/Paths.h"
#include "shell/SingleInstancePolicy.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    corvane::InitializeApplication();
    // A second start of this executable hands over to the running launcher and ends before
    // the window or the configuration exist.
    corvane::SingleInstance instance(QString::fromStdString(corvane::ExecutablePath()));
    if (!instance.Claim(application.arguments().mid(1)))
        return corvane::kSecondStartExitCode;
    const std::unique_ptr<corvane::MainWindow> window = corvane::MainWindow::Create();
    QObject::connect(
        &instance, &corvane::SingleInstance::SecondStartArrived, window.get(),
        [&window] { corvane::RunGuarded([&window] { window->Shell().SecondStartArrived(); }); });
    window->show();
    return application.exec();
}
