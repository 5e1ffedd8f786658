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
    int status = 0;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

} // namespace

class LaunchTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> root_;
    QString local_; // has a blank in its path, as installations under "Program Files" do
    QString server_;
    QString log_;
    std::vector<std::string> errors_;
    corvane::ErrorReport previousReport_;

    void PutOnServer(const QString& name, bool module) {
        const QString path = server_ + name;
        if (module)
            QVERIFY(QFile::copy(DemoModule(), path));
        else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("stand-in of a shared file\n");
        }
    }

    std::unique_ptr<MainWindow> NewWindow(const QString& remote) {
        auto form = MainWindow::Create();
        form->Shell().UseServer(local_.toStdString(), remote.toStdString(), std::string());
        return form;
    }

    QStringList LogLines() const {
        QFile file(log_);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        lines.sort();
        return lines;
    }

    // What the demo module logs when the launcher starts it: its name, the launcher's current
    // directory, no arguments.
    static QString Started(const QString& name) {
        return name + QLatin1Char('\t') + QDir::currentPath();
    }

    static void Click(MainWindow& form, const char* area) {
        auto* pictureArea = form.findChild<PictureArea*>(QString::fromUtf8(area));
        QVERIFY(pictureArea != nullptr);
        QTest::mouseClick(pictureArea, Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        corvane::InitializeApplication();
        previousReport_ = corvane::SetErrorReport(
            [this](const std::string& message) { errors_.push_back(message); });
    }
    void cleanupTestCase() { corvane::SetErrorReport(previousReport_); }

    void init() {
        root_ = std::make_unique<QTemporaryDir>();
        QVERIFY(root_->isValid());
        local_ = root_->filePath(QStringLiteral("estação 1")) + QLatin1Char('/');
        server_ = root_->filePath(QStringLiteral("servidor")) + QLatin1Char('/');
        QVERIFY(QDir().mkpath(local_));
        QVERIFY(QDir().mkpath(server_));
        log_ = root_->filePath(QStringLiteral("modules.log"));
        qputenv("CORVANE_DEMO_MODULE_LOG", log_.toLocal8Bit());
        errors_.clear();
        PutOnServer(QStringLiteral("Morvik.exe"), true);
        PutOnServer(QStringLiteral("TeamViewerQS_pt.exe"), true);
        PutOnServer(QStringLiteral("gds32.dll"), false);
        PutOnServer(QStringLiteral("central.ini"), false);
    }

    // Each kind of area: a module that brings the shared files along, a remote-support tool
    // that brings only its own file, and an area outside the table, which does nothing.
    void ClickOnEachKindOfArea_data() {
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("module");
        QTest::addColumn<bool>("sharedFiles");
        QTest::newRow("module") << "stock"
                                << "Morvik.exe" << true;
        QTest::newRow("remote support") << "remoteSupport1"
                                        << "TeamViewerQS_pt.exe" << false;
        QTest::newRow("outside the table") << "background" << QString() << false;
    }
    void ClickOnEachKindOfArea() {
        QFETCH(QString, area);
        QFETCH(QString, module);
        QFETCH(bool, sharedFiles);
        const auto form = NewWindow(server_);
        const QString caption = form->windowTitle();
        Click(*form, area.toUtf8().constData());
        if (module.isEmpty()) {
            QCOMPARE(form->Shell().RunsUnderway(), 0);
            QCOMPARE(form->Shell().SelectedModule(), std::string());
            QCoreApplication::processEvents();
            QCOMPARE(form->windowTitle(), caption);
            QVERIFY(QDir(local_).entryList(QDir::Files).isEmpty());
            return;
        }
        QCOMPARE(form->Shell().SelectedModule(), (local_ + module).toStdString());
        QTRY_COMPARE(form->Shell().RunsUnderway(), 0);
        QVERIFY(form->WaitingPanel()->isHidden());
        QVERIFY(QFile::exists(local_ + module));
        QCOMPARE(QFile::exists(local_ + QStringLiteral("gds32.dll")), sharedFiles);
        QCOMPARE(QFile::exists(local_ + QStringLiteral("central.ini")), sharedFiles);
        QTRY_COMPARE(LogLines(), QStringList{Started(module)});
        QVERIFY(NoChildProcesses());
        QVERIFY(errors_.empty());
    }

    // Shown, the window starts the start-up run once: the shared files only, no module.
    void StartUpRunBringsSharedFilesAndStartsNothing() {
        const auto form = NewWindow(server_);
        QVERIFY(form->WaitingPanel()->isVisibleTo(form.get()));
        form->show();
        QVERIFY(form->StartupRunTimer()->isActive());
        QTRY_VERIFY(QFile::exists(local_ + QStringLiteral("gds32.dll")));
        QTRY_COMPARE(form->Shell().RunsUnderway(), 0);
        QVERIFY(!form->StartupRunTimer()->isActive());
        QVERIFY(form->WaitingPanel()->isHidden());
        QVERIFY(!form->WaitingPanel()->Indicator()->Animates());
        QVERIFY(QFile::exists(local_ + QStringLiteral("central.ini")));
        QVERIFY(!QFile::exists(local_ + QStringLiteral("Morvik.exe")));
        QCOMPARE(form->Shell().SelectedModule(), std::string());
        const QRegularExpression caption(
            QStringLiteral("^Corvane Plexa Tempo do update : \\d\\d%1\\d\\d\\.\\d\\d\\d$")
                .arg(QRegularExpression::escape(corvane::LocaleTimeSeparator())));
        QVERIFY2(caption.match(form->windowTitle()).hasMatch(), qPrintable(form->windowTitle()));
        QVERIFY(!QFile::exists(log_));
        QVERIFY(errors_.empty());
    }

    // A module on neither side: the message names the full path on its second line, with OK.
    void ModuleNotInstalled() {
        const auto form = NewWindow(server_);
        QStringList lines;
        QStringList buttons;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            watch.stop();
            if (auto* memo =
                    dialog->findChild<corvane::MessageDialogText*>(QStringLiteral("Message")))
                lines = memo->Lines();
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                buttons << button->text().remove(QLatin1Char('&'));
            dialog->accept();
        });
        watch.start(10);
        Click(*form, "remoteSupport2");
        QTRY_COMPARE(form->Shell().RunsUnderway(), 0);
        QTRY_VERIFY(!watch.isActive());
        QCOMPARE(lines, (QStringList{QStringLiteral("Módulo não instalado."),
                                     local_ + QStringLiteral("Supremo.exe")}));
        QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(!QFile::exists(log_));
    }

    // A run that cannot start (the server folder is gone): the error is reported, the panel
    // is hidden, nothing is started; a later click runs again.
    void FailingRunStartHidesThePanel() {
        const auto form = NewWindow(root_->filePath(QStringLiteral("sem servidor/")));
        Click(*form, "stock");
        QCOMPARE(errors_.size(), size_t(1));
        QCOMPARE(form->Shell().RunsUnderway(), 0);
        QVERIFY(form->WaitingPanel()->isHidden());
        QVERIFY(!form->WaitingPanel()->Indicator()->Animates());
        form->Shell().UseServer(local_.toStdString(), server_.toStdString(), std::string());
        Click(*form, "stock");
        QTRY_COMPARE(LogLines(), QStringList{Started(QStringLiteral("Morvik.exe"))});
    }

    // Nothing configured: no run, and the panel the layout shows comes down with the
    // start-up run, which has nothing to wait for; a click leaves it down.
    void NothingConfiguredStartsNoRun() {
        auto form = MainWindow::Create();
        form->Shell().UseServer(local_.toStdString(), std::string(), std::string(" \t "));
        QVERIFY(form->WaitingPanel()->isVisibleTo(form.get()));
        form->show();
        QVERIFY(form->StartupRunTimer()->isActive());
        QTRY_VERIFY(!form->StartupRunTimer()->isActive());
        QCOMPARE(form->Shell().RunsUnderway(), 0);
        QVERIFY(form->WaitingPanel()->isHidden());
        QVERIFY(!form->WaitingPanel()->Indicator()->Animates());
        Click(*form, "stock");
        QCOMPARE(form->Shell().RunsUnderway(), 0);
        QVERIFY(form->WaitingPanel()->isHidden());
        QCOMPARE(form->windowTitle(), QStringLiteral("Corvane Plexa [2019.01.00]"));
        QVERIFY(QDir(local_).entryList(QDir::Files).isEmpty());
        QVERIFY(errors_.empty());
    }

    // Two clicks before the first run completes: each module starts once, and the panel stays
    // up until the last run has ended.
    void TwoQuickClicksStartEachModuleOnce() {
        const auto form = NewWindow(server_);
        Click(*form, "stock");
        Click(*form, "remoteSupport1");
        QCOMPARE(form->Shell().SelectedModule(),
                 (local_ + QStringLiteral("TeamViewerQS_pt.exe")).toStdString());
        QTRY_COMPARE(form->Shell().RunsUnderway(), 0);
        QVERIFY(form->WaitingPanel()->isHidden());
        QTRY_COMPARE(LogLines().size(), 2);
        QCOMPARE(LogLines(), (QStringList{Started(QStringLiteral("Morvik.exe")),
                                          Started(QStringLiteral("TeamViewerQS_pt.exe"))}));
        QVERIFY(NoChildProcesses());
    }

    // The Qt dispatcher: a call posted from a worker thread runs on the main thread.
    void DispatcherRunsWorkerCallsOnTheMainThread() {
        const auto dispatcher = corvane::MainThreadDispatcher();
        QVERIFY(dispatcher != nullptr);
        QVERIFY(dispatcher->IsMainThread());
        std::atomic<bool> workerSawMain{true};
        std::atomic<bool> ranOnMain{false};
        std::atomic<bool> ran{false};
        std::thread worker([&] {
            workerSawMain = dispatcher->IsMainThread();
            dispatcher->Post([&] {
                ranOnMain = dispatcher->IsMainThread();
                ran = true;
            });
        });
        worker.join();
        QTRY_VERIFY(ran.load());
        QVERIFY(!workerSawMain);
        QVERIFY(ranOnMain);
    }
};

QTEST_MAIN(LaunchTest)
#include "MainWindowLaunchTest.moc"
