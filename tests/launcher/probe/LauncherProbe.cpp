// Creates the launcher's window exactly as the program start does, then prints what start-up
// produced, one "Name=value" line each, and ends without running the event loop. Errors that
// reach the application's error report are printed as "Error=" lines as they happen.
#include "Corvane.Application.h"
#include "Corvane.ErrorReport.h"
#include "Corvane.Image.h"
#include "Unit1.h"

#include <QApplication>

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
    std::fflush(stdout);
    return 0;
}
