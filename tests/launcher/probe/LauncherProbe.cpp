// Creates the launcher's window exactly as the program start does, then prints what start-up
// produced, one "Name=value" line each, and ends without running the event loop. Errors that
// reach the application's error report are printed as "Error=" lines as they happen. With
// --start-up-run it then shows the window, runs the event loop until the start-up run has
// ended and prints the caption the run left ("RunCaption=").
#include "launcher/Application.h"
#include "launcher/MainWindow.h"
#include "launcher/PictureArea.h"
#include "platform/ErrorReport.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <string>

namespace {

void Print(const char* AName, const std::string& AValue) {
    std::printf("%s=%s\n", AName, AValue.c_str());
}

void Print(const char* AName, const QString& AValue) {
    Print(AName, AValue.toStdString());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication LApplication(argc, argv);
    corvane::InitializeApplication();
    corvane::SetErrorReport([](const std::string& AMessage) { Print("Error", AMessage); });
    const std::unique_ptr<corvane::TFrmMenu> LForm = corvane::TFrmMenu::Create();
    Print("Caption", LForm->windowTitle());
    Print("LocalPath", LForm->LocalPath());
    Print("RemotePath", LForm->RemotePath());
    Print("CaminhoServidor", LForm->CaminhoServidor());
    Print("Url", LForm->Url());
    Print("ExeContabil", LForm->ExeContabil());
    Print("Fecha", std::to_string(LForm->Fecha()));
    Print("StartupInfo", std::to_string(corvane::StartupInfo.UseShowWindow) + "," +
                             std::to_string(static_cast<int>(corvane::StartupInfo.ShowWindow)));
    Print("Modules", std::to_string(LForm->ModuleOptions().Count()));
    Print("FrmMenu", std::to_string(corvane::FrmMenu == LForm.get()));
    Print("PanelVisible", std::to_string(LForm->pnlTemporizador->isVisibleTo(LForm.get())));
    Print("AeCHint", LForm->imgAeC->toolTip().replace(QLatin1Char('\n'), QLatin1Char('|')));
    if (LApplication.arguments().contains(QStringLiteral("--start-up-run"))) {
        LForm->show(); // starts the one-shot timer of the start-up run
        QEventLoop LLoop;
        QTimer LWatch;
        QObject::connect(&LWatch, &QTimer::timeout, [&] {
            if (!LForm->Timer1->isActive() && LForm->RunsUnderway() == 0)
                LLoop.quit();
        });
        LWatch.start(10);
        LLoop.exec();
        Print("RunCaption", LForm->windowTitle());
    }
    std::fflush(stdout);
    return 0;
}
