// TFrmMenu: the launcher's main window. Construction builds the window's components and the
// module table; FormCreate then presets the start-up settings, reads Corvane.ini, sets the
// caption and makes sure the report folder exists.
#pragma once

#include "launcher/ModuleOptions.h"
#include "platform/DateTime.h"
#include "platform/Process.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QEvent;
class QLabel;
class QMenu;
class QShowEvent;
class QTimer;

namespace corvane {

class TActivityIndicator;
class TImage;
class TTrayIcon;

// What closing the window does (set by FormClose).
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

class TFrmMenu : public QWidget {
    Q_OBJECT
public:
    // The default of "Exe Contabi" in Corvane.ini.
    static constexpr char DefaultExeContabil[] = "C:\\qlor\\Cont\\contabil.exe";
    // The window's caption once the configuration has been read.
    static constexpr char StartCaption[] = "Corvane Plexa [2019.01.00]";
    // The message when the report folder cannot be created.
    static constexpr char ReportFolderError[] =
        "Não Criou o Diretório Relatorio. Contacte o Corvane.";

    // Creates the window as the program start does: the construction, then FormCreate. An
    // error that escapes FormCreate is shown through the application's error report and the
    // window is returned all the same, fully constructed.
    static std::unique_ptr<TFrmMenu> Create();

    // The construction alone: FrmMenu is set to the new window, the components are created
    // with their layout, then the module table is built. FormCreate is not run.
    TFrmMenu();
    ~TFrmMenu() override;

    // Runs the creation handler, as the form does once its construction has finished.
    void DoCreate();

    // The designer components, owned by the window.
    TImage* Image1 = nullptr;
    TImage* imgInternacao = nullptr;
    TImage* imgProntuario = nullptr;
    TImage* imgAgendaConsulta = nullptr;
    TImage* imgEstoque = nullptr;
    TImage* imgSND = nullptr;
    TImage* imgGlosa = nullptr;
    TImage* imgSame = nullptr;
    TImage* imgCusto = nullptr;
    TImage* imgCompras = nullptr;
    TImage* imgControlEquip = nullptr;
    TImage* imgExames = nullptr;
    TImage* imgFinanceiro = nullptr;
    TImage* imgFaturamento = nullptr;
    TImage* imgTelemarketing = nullptr;
    TImage* imgSuporteRemoto1 = nullptr;
    TImage* imgSuporteRemoto2 = nullptr;
    TImage* imgEmail = nullptr;
    TImage* imgAdmSistema = nullptr;
    TImage* imgCadGeral = nullptr;
    TImage* imgAeC = nullptr;
    QWidget* pnlTemporizador = nullptr;
    QLabel* Label1 = nullptr;
    TActivityIndicator* aciTemporizador = nullptr;
    QTimer* Timer1 = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* AbreoSistemadeGesttoHospitalar1 = nullptr;
    QAction* N1 = nullptr;
    QAction* FechaoSistemadeGesttoHospitalar1 = nullptr;

    // The tray icon has been added.
    bool TrayIconCriado = false;

    // Read access to the window's state for the other units and the tests.
    const TModuleOptions& ModuleOptions() const { return *FModuleOptions; }
    const std::string& SelectedModule() const { return FSelectedModule; }
    const std::string& CaminhoServidor() const { return wCaminhoServidor; }
    const std::string& LocalPath() const { return FLocalPath; }
    const std::string& RemotePath() const { return FRemotePath; }
    const std::string& Url() const { return FUrl; }
    const std::string& ExeContabil() const { return wExeContabil; }
    bool Fecha() const { return wfecha; }
    // How many update runs are under way (the waiting panel shows while there is one).
    int RunsUnderway() const { return FRunsUnderway; }

    // Points the window at other folders and service than Corvane.ini named, as a tool or a
    // test does before it starts runs. ALocalPath ends in a path delimiter.
    void UseServer(std::string ALocalPath, std::string ARemotePath, std::string AUrl);

    // The tray icon's message handler: ALParam is the mouse event (launcher/TrayIcon.h).
    void TrayMessage(int ALParam);

protected:
    void showEvent(QShowEvent* AEvent) override;
    void closeEvent(QCloseEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;

private:
    void CreateComponents();
    void BuildModuleTable();
    void ReadConfiguration();
    void CreatePopupMenu();
    void ConnectEmailArea();
    void AddTrayIcon();
    void ConnectLaunchHandlers();

    // The launch flow. Each run carries the module it was started for and its own start
    // time, so that overlapping runs each start their own module and report their own time.
    void SelectModule(const std::string& AModuleName, bool AAdditionalFiles);
    void RunUpdate(const std::string& AModuleName, bool AAdditionalFiles,
                   const std::function<void(TDateTime AStart)>& ACallback);
    TDateTime ShowWaitPanel();
    void ShowUpdateTime(TDateTime AStart);
    void StartSelectedModule(const std::string& AModule, TDateTime AStart);
    // One run less under way: the panel hides when none is left.
    void EndRun();
    void HideWaitPanelWhenIdle();

    // Event handlers, in declaration order. The launch flow, the tray icon with its menu
    // and close handling (TrayMessage among them), the support e-mail and the
    // self-replacement check define the ones that FormCreate does not.
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void AbreoSistemadeGesttoHospitalar1Click(QObject* Sender);
    void FechaoSistemadeGesttoHospitalar1Click(QObject* Sender);
    void ApplicationEvents1Minimize(QObject* Sender);
    void imgClick(QObject* Sender);
    void imgEmailClick(QObject* Sender);
    void FormClose(QObject* Sender, TCloseAction& Action);
    void FormActivate(QObject* Sender);
    void FormShow(QObject* Sender);

    // The self-replacement (MainWindowSelfReplacement.cpp): the first activation of the window
    // runs FormActivate, which runs CheckLauncherVersion once per start.
    bool event(QEvent* AEvent) override;
    void CheckLauncherVersion();
    bool FActivatedOnce = false;
    void Timer1Timer(QObject* Sender);

    std::unique_ptr<TModuleOptions> FModuleOptions;
    std::string FSelectedModule;
    std::string wCaminhoServidor;
    TDateTime FStart = 0.0;
    int FRunsUnderway = 0;
    std::string FLocalPath;
    std::string FRemotePath;
    std::string FUrl;
    bool wfecha = false;
    std::string wExeContabil;
    TTrayIcon* FTrayIcon = nullptr;
};

// The one main window; set while its constructor and FormCreate run.
extern TFrmMenu* FrmMenu;

// The settings every module start uses; preset by FormCreate.
extern TStartupInfo StartupInfo;

} // namespace corvane
