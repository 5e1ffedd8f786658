// Creates the launcher's window exactly as the program start does, then prints what start-up
// produced, one "Name=value" line each, and ends without running the event loop. Errors that
// reach the application's error report are printed as "Error=" lines as they happen. With
// --start-up-run it then shows the window, runs the event loop until the start-up run has
// ended and prints the caption the run left ("RunCaption=").
#include "launcher/Application.h"
#include "launcher/MainWindow.h"
#include "launcher/PictureArea.h"
#include "launcher/WaitPanel.h"
#include "platform/ErrorReport.h"
#include "shell/ModuleTable.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <string>

namespace {

void Print(const char* name, const std::string& value) {
    std::printf("%s=%s\n", name, value.c_str());
}

void Print(const char* name, const QString& value) {
    Print(name, value.toStdString());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    corvane::InitializeApplication();
    corvane::SetErrorReport([](const std::string& message) { Print("Error", message); });
    const std::unique_ptr<corvane::MainWindow> window = corvane::MainWindow::Create();
    const corvane::Launcher& shell = window->Shell();
    Print("Caption", window->windowTitle());
    Print("LocalPath", shell.Settings().localPath);
    Print("RemotePath", shell.Settings().remotePath);
    Print("Url", shell.Settings().url);
    Print("AccountingProgram", shell.Settings().accountingProgram);
    Print("ClosingEndsProgram", std::to_string(shell.ClosingEndsProgram()));
    int moduleAreas = 0;
    for (const corvane::ClickArea& area : corvane::ClickAreas())
        if (area.action == corvane::AreaAction::StartModule && window->Area(area.name))
            ++moduleAreas;
    Print("ModuleAreas", std::to_string(moduleAreas));
    Print("PanelVisible", std::to_string(window->WaitingPanel()->isVisibleTo(window.get())));
    Print("ContactHint",
          window->Area("makerContact")->toolTip().replace(QLatin1Char('\n'), QLatin1Char('|')));
    if (application.arguments().contains(QStringLiteral("--start-up-run"))) {
        window->show(); // starts the one-shot timer of the start-up run
        QEventLoop loop;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!window->StartupRunTimer()->isActive() && shell.RunsUnderway() == 0)
                loop.quit();
        });
        watch.start(10);
        loop.exec();
        Print("RunCaption", window->windowTitle());
    }
    std::fflush(stdout);
    return 0;
}
