// The launch flow of the main window against a real server folder: clicks on the module areas,
// the start-up run, the waiting panel, the caption and the module starts. The modules are
// copies of the demo module, which log their start to a file.
#include "dialogs/MessageDialogText.h"
#include "launcher/Application.h"
#include "launcher/BusyIndicator.h"
#include "launcher/ErrorBox.h"
#include "launcher/LocaleTimeSeparator.h"
#include "launcher/MainWindow.h"
#include "launcher/PictureArea.h"
#include "launcher/WaitPanel.h"
#include "update/MainThread.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

using corvane::MainWindow;
using corvane::PictureArea;

namespace {

QString DemoModule() {
    return QStringLiteral(CORVANE_DEMO_MODULE);
}

// True when this process has no child left, running or dead: every start was detached.
bool NoChildProcesses() {
    int LStatus = 0;
    return waitpid(-1, &LStatus, WNOHANG) == -1 && errno == ECHILD;
}

} // namespace

class LaunchTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FRoot;
    QString FLocal; // has a blank in its path, as installations under "Program Files" do
    QString FServer;
    QString FLog;
    std::vector<std::string> FErrors;
    corvane::TErrorReport FPreviousReport;

    void PutOnServer(const QString& AName, bool AModule) {
        const QString LPath = FServer + AName;
        if (AModule)
            QVERIFY(QFile::copy(DemoModule(), LPath));
        else {
            QFile LFile(LPath);
            QVERIFY(LFile.open(QIODevice::WriteOnly));
            LFile.write("stand-in of a shared file\n");
        }
    }

    std::unique_ptr<MainWindow> NewWindow(const QString& ARemote) {
        auto LForm = MainWindow::Create();
        LForm->Shell().UseServer(FLocal.toStdString(), ARemote.toStdString(), std::string());
        return LForm;
    }

    QStringList LogLines() const {
        QFile LFile(FLog);
        if (!LFile.open(QIODevice::ReadOnly))
            return {};
        QStringList LLines = QString::fromUtf8(LFile.readAll()).split(QLatin1Char('\n'));
        LLines.removeAll(QString());
        LLines.sort();
        return LLines;
    }

    // What the demo module logs when the launcher starts it: its name, the launcher's current
    // directory, no arguments.
    static QString Started(const QString& AName) {
        return AName + QLatin1Char('\t') + QDir::currentPath();
    }

    static void Click(MainWindow& AForm, const char* AArea) {
        auto* LArea = AForm.findChild<PictureArea*>(QString::fromUtf8(AArea));
        QVERIFY(LArea != nullptr);
        QTest::mouseClick(LArea, Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        corvane::InitializeApplication();
        FPreviousReport = corvane::SetErrorReport(
            [this](const std::string& AMessage) { FErrors.push_back(AMessage); });
    }
    void cleanupTestCase() { corvane::SetErrorReport(FPreviousReport); }

    void init() {
        FRoot = std::make_unique<QTemporaryDir>();
        QVERIFY(FRoot->isValid());
        FLocal = FRoot->filePath(QStringLiteral("estação 1")) + QLatin1Char('/');
        FServer = FRoot->filePath(QStringLiteral("servidor")) + QLatin1Char('/');
        QVERIFY(QDir().mkpath(FLocal));
        QVERIFY(QDir().mkpath(FServer));
        FLog = FRoot->filePath(QStringLiteral("modules.log"));
        qputenv("CORVANE_DEMO_MODULE_LOG", FLog.toLocal8Bit());
        FErrors.clear();
        PutOnServer(QStringLiteral("Morvik.exe"), true);
        PutOnServer(QStringLiteral("TeamViewerQS_pt.exe"), true);
        PutOnServer(QStringLiteral("gds32.dll"), false);
        PutOnServer(QStringLiteral("central.ini"), false);
    }

    // Each kind of area: a module that brings the shared files along, a remote-support tool
    // that brings only its own file, and an area outside the table, which does nothing.
    void clickOnEachKindOfArea_data() {
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("module");
        QTest::addColumn<bool>("sharedFiles");
        QTest::newRow("module") << "stock"
                                << "Morvik.exe" << true;
        QTest::newRow("remote support") << "remoteSupport1"
                                        << "TeamViewerQS_pt.exe" << false;
        QTest::newRow("outside the table") << "background" << QString() << false;
    }
    void clickOnEachKindOfArea() {
        QFETCH(QString, area);
        QFETCH(QString, module);
        QFETCH(bool, sharedFiles);
        const auto LForm = NewWindow(FServer);
        const QString LCaption = LForm->windowTitle();
        Click(*LForm, area.toUtf8().constData());
        if (module.isEmpty()) {
            QCOMPARE(LForm->Shell().RunsUnderway(), 0);
            QCOMPARE(LForm->Shell().SelectedModule(), std::string());
            QCoreApplication::processEvents();
            QCOMPARE(LForm->windowTitle(), LCaption);
            QVERIFY(QDir(FLocal).entryList(QDir::Files).isEmpty());
            return;
        }
        QCOMPARE(LForm->Shell().SelectedModule(), (FLocal + module).toStdString());
        QTRY_COMPARE(LForm->Shell().RunsUnderway(), 0);
        QVERIFY(LForm->WaitingPanel()->isHidden());
        QVERIFY(QFile::exists(FLocal + module));
        QCOMPARE(QFile::exists(FLocal + QStringLiteral("gds32.dll")), sharedFiles);
        QCOMPARE(QFile::exists(FLocal + QStringLiteral("central.ini")), sharedFiles);
        QTRY_COMPARE(LogLines(), QStringList{Started(module)});
        QVERIFY(NoChildProcesses());
        QVERIFY(FErrors.empty());
    }

    // Shown, the window starts the start-up run once: the shared files only, no module.
    void startUpRunBringsSharedFilesAndStartsNothing() {
        const auto LForm = NewWindow(FServer);
        QVERIFY(LForm->WaitingPanel()->isVisibleTo(LForm.get()));
        LForm->show();
        QVERIFY(LForm->StartupRunTimer()->isActive());
        QTRY_VERIFY(QFile::exists(FLocal + QStringLiteral("gds32.dll")));
        QTRY_COMPARE(LForm->Shell().RunsUnderway(), 0);
        QVERIFY(!LForm->StartupRunTimer()->isActive());
        QVERIFY(LForm->WaitingPanel()->isHidden());
        QVERIFY(!LForm->WaitingPanel()->Indicator()->Animates());
        QVERIFY(QFile::exists(FLocal + QStringLiteral("central.ini")));
        QVERIFY(!QFile::exists(FLocal + QStringLiteral("Morvik.exe")));
        QCOMPARE(LForm->Shell().SelectedModule(), std::string());
        const QRegularExpression LCaption(
            QStringLiteral("^Corvane Plexa Tempo do update : \\d\\d%1\\d\\d\\.\\d\\d\\d$")
                .arg(QRegularExpression::escape(corvane::LocaleTimeSeparator())));
        QVERIFY2(LCaption.match(LForm->windowTitle()).hasMatch(), qPrintable(LForm->windowTitle()));
        QVERIFY(!QFile::exists(FLog));
        QVERIFY(FErrors.empty());
    }

    // A module on neither side: the message names the full path on its second line, with OK.
    void moduleNotInstalled() {
        const auto LForm = NewWindow(FServer);
        QStringList LLines;
        QStringList LButtons;
        QTimer LWatch;
        connect(&LWatch, &QTimer::timeout, this, [&] {
            auto* LDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (LDialog == nullptr)
                return;
            LWatch.stop();
            if (auto* LMemo =
                    LDialog->findChild<corvane::TTransparentMemo*>(QStringLiteral("Message")))
                LLines = LMemo->Lines();
            for (QPushButton* LButton : LDialog->findChildren<QPushButton*>())
                LButtons << LButton->text().remove(QLatin1Char('&'));
            LDialog->accept();
        });
        LWatch.start(10);
        Click(*LForm, "remoteSupport2");
        QTRY_COMPARE(LForm->Shell().RunsUnderway(), 0);
        QTRY_VERIFY(!LWatch.isActive());
        QCOMPARE(LLines, (QStringList{QStringLiteral("Módulo não instalado."),
                                      FLocal + QStringLiteral("Supremo.exe")}));
        QCOMPARE(LButtons, QStringList{QStringLiteral("OK")});
        QVERIFY(!QFile::exists(FLog));
    }

    // A run that cannot start (the server folder is gone): the error is reported, the panel
    // is hidden, nothing is started; a later click runs again.
    void failingRunStartHidesThePanel() {
        const auto LForm = NewWindow(FRoot->filePath(QStringLiteral("sem servidor/")));
        Click(*LForm, "stock");
        QCOMPARE(FErrors.size(), size_t(1));
        QCOMPARE(LForm->Shell().RunsUnderway(), 0);
        QVERIFY(LForm->WaitingPanel()->isHidden());
        QVERIFY(!LForm->WaitingPanel()->Indicator()->Animates());
        LForm->Shell().UseServer(FLocal.toStdString(), FServer.toStdString(), std::string());
        Click(*LForm, "stock");
        QTRY_COMPARE(LogLines(), QStringList{Started(QStringLiteral("Morvik.exe"))});
    }

    // Nothing configured: no run, and the panel the layout shows comes down with the
    // start-up run, which has nothing to wait for; a click leaves it down.
    void nothingConfiguredStartsNoRun() {
        auto LForm = MainWindow::Create();
        LForm->Shell().UseServer(FLocal.toStdString(), std::string(), std::string(" \t "));
        QVERIFY(LForm->WaitingPanel()->isVisibleTo(LForm.get()));
        LForm->show();
        QVERIFY(LForm->StartupRunTimer()->isActive());
        QTRY_VERIFY(!LForm->StartupRunTimer()->isActive());
        QCOMPARE(LForm->Shell().RunsUnderway(), 0);
        QVERIFY(LForm->WaitingPanel()->isHidden());
        QVERIFY(!LForm->WaitingPanel()->Indicator()->Animates());
        Click(*LForm, "stock");
        QCOMPARE(LForm->Shell().RunsUnderway(), 0);
        QVERIFY(LForm->WaitingPanel()->isHidden());
        QCOMPARE(LForm->windowTitle(), QStringLiteral("Corvane Plexa [2019.01.00]"));
        QVERIFY(QDir(FLocal).entryList(QDir::Files).isEmpty());
        QVERIFY(FErrors.empty());
    }

    // Two clicks before the first run completes: each module starts once, and the panel stays
    // up until the last run has ended.
    void twoQuickClicksStartEachModuleOnce() {
        const auto LForm = NewWindow(FServer);
        Click(*LForm, "stock");
        Click(*LForm, "remoteSupport1");
        QCOMPARE(LForm->Shell().SelectedModule(),
                 (FLocal + QStringLiteral("TeamViewerQS_pt.exe")).toStdString());
        QTRY_COMPARE(LForm->Shell().RunsUnderway(), 0);
        QVERIFY(LForm->WaitingPanel()->isHidden());
        QTRY_COMPARE(LogLines().size(), 2);
        QCOMPARE(LogLines(), (QStringList{Started(QStringLiteral("Morvik.exe")),
                                          Started(QStringLiteral("TeamViewerQS_pt.exe"))}));
        QVERIFY(NoChildProcesses());
    }

    // The Qt dispatcher: a call posted from a worker thread runs on the main thread.
    void dispatcherRunsWorkerCallsOnTheMainThread() {
        const auto LDispatcher = corvane::MainThreadDispatcher();
        QVERIFY(LDispatcher != nullptr);
        QVERIFY(LDispatcher->IsMainThread());
        std::atomic<bool> LWorkerSawMain{true};
        std::atomic<bool> LRanOnMain{false};
        std::atomic<bool> ran{false};
        std::thread LWorker([&] {
            LWorkerSawMain = LDispatcher->IsMainThread();
            LDispatcher->Post([&] {
                LRanOnMain = LDispatcher->IsMainThread();
                ran = true;
            });
        });
        LWorker.join();
        QTRY_VERIFY(ran.load());
        QVERIFY(!LWorkerSawMain);
        QVERIFY(LRanOnMain);
    }
};

QTEST_MAIN(LaunchTest)
#include "MainWindowLaunchTest.moc"
