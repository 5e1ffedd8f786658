#include "launcher/MainWindow.h"

#include "launcher/Contacts.h"
#include "launcher/ErrorBox.h"
#include "launcher/PictureArea.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "update/HttpCertificates.h"
#include "update/IniFile.h"
#include "update/ServerSettings.h"

#include <QString>

namespace corvane {

TFrmMenu* FrmMenu = nullptr;
TStartupInfo StartupInfo;

std::unique_ptr<TFrmMenu> TFrmMenu::Create() {
    auto LForm = std::make_unique<TFrmMenu>();
    LForm->DoCreate();
    return LForm;
}

TFrmMenu::TFrmMenu() {
    FrmMenu = this;
    CreateComponents();
    BuildModuleTable();
    ConnectLaunchHandlers();
}

TFrmMenu::~TFrmMenu() {
    FormDestroy(this);
    if (FrmMenu == this)
        FrmMenu = nullptr;
}

void TFrmMenu::DoCreate() {
    RunGuarded([this] { FormCreate(this); });
}

void TFrmMenu::FormCreate(QObject*) {
    StartupInfo.UseShowWindow = true;
    StartupInfo.ShowWindow = TShowWindow::ShowNormal;

    // Qt breaks a hint's lines at the line feed.
    imgAeC->setToolTip(QStringLiteral("Telefone : ") + QString::fromUtf8(MakerTelephone) +
                       QLatin1Char('\n') + QString::fromUtf8(MakerCommercialEmail));

    AddTrayIcon();

    wfecha = false;
    ReadConfiguration();

    // Last, so that a failure here skips nothing else.
    const std::string LReportFolder = FLocalPath + "Relatorio";
    if (!DirectoryExists(LReportFolder) && !CreateDir(LReportFolder))
        throw Exception(ReportFolderError);
}

void TFrmMenu::ReadConfiguration() {
    FLocalPath = ExtractFilePath(ExecutablePath());
    // FLocalPath ends in a delimiter, so the name is simply appended (a folder name may
    // hold characters the system's joining refuses).
    const TIniFile LIniFile(FLocalPath + "Corvane.ini");
    const TServerSettings LServer = ReadServerSettings(LIniFile, FLocalPath);
    FRemotePath = LServer.RemotePath;
    wCaminhoServidor = FRemotePath;
    wExeContabil = LIniFile.ReadString("Servidor", "Exe Contabi", DefaultExeContabil);
    FUrl = LServer.URL;
    // Every HTTPS exchange of the launcher, at start-up and on each click, trusts it.
    SetExtraCAFile(LServer.CAFile);
    setWindowTitle(QString::fromUtf8(StartCaption));
}

} // namespace corvane
