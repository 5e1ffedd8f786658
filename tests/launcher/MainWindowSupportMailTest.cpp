// The mail area's click and the "Falha" dialog the window shows for each result. A stand-in
// xdg-email on a PATH of the test's own is looked for at the first click.
#include "dialogs/MessageDialogText.h"
#include "dialogs/MessageDialogWindow.h"
#include "launcher/Application.h"
#include "launcher/MainWindow.h"
#include "launcher/PictureArea.h"
#include "shell/Contacts.h"
#include "shell/SupportMail.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using corvane::TMessageForm;

namespace {

struct TShown {
    bool Shown = false;
    QString Caption;
    QString Text;
};

// Reads and closes every message dialog that comes up while it lives.
class TDialogCatcher {
public:
    TDialogCatcher() {
        QObject::connect(&FWatch, &QTimer::timeout, [this] {
            auto* LForm = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
            if (!LForm || !LForm->isVisible())
                return;
            TShown LShown;
            LShown.Shown = true;
            LShown.Caption = LForm->windowTitle();
            if (auto* LMemo = LForm->findChild<corvane::TTransparentMemo*>())
                LShown.Text = LMemo->toPlainText();
            Shown.push_back(LShown);
            LForm->done(0);
        });
        FWatch.start(10);
    }

    std::vector<TShown> Shown;

private:
    QTimer FWatch;
};

// Runs AAct; a dialog that comes up meanwhile is read and closed.
TShown WhileActing(const std::function<void()>& AAct) {
    TDialogCatcher LCatcher;
    AAct();
    return LCatcher.Shown.empty() ? TShown() : LCatcher.Shown.front();
}

// Lets a stand-in tool blocked on the FIFO go on; waits for it to open the FIFO unless
// AOnlyIfWaiting.
void Release(const QString& AFifo, bool AOnlyIfWaiting = false) {
    const int LFifo =
        ::open(AFifo.toLocal8Bit().constData(), O_WRONLY | (AOnlyIfWaiting ? O_NONBLOCK : 0));
    if (LFifo >= 0) {
        (void)!::write(LFifo, "\n", 1);
        ::close(LFifo);
    }
}

// A test that fails half-way leaves no stand-in tool waiting behind it.
struct TReleaseAtEnd {
    QString Fifo;
    ~TReleaseAtEnd() { Release(Fifo, true); }
};

} // namespace

class MainWindowSupportMailTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FTools;

    // The stand-in records its link; with AFifo it then waits until a line arrives there.
    void WriteTool(int AExitCode, const QString& AFifo = QString()) {
        QFile::remove(Link());
        QFile LTool(FTools.filePath(QStringLiteral("xdg-email")));
        QVERIFY(LTool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString LScript = QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > \"%1\"\n").arg(Link());
        if (!AFifo.isEmpty())
            LScript += QStringLiteral("read LINE < \"%1\"\n").arg(AFifo);
        LScript += QStringLiteral("exit %1\n").arg(AExitCode);
        LTool.write(LScript.toUtf8());
        LTool.close();
        LTool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString Link() const { return FTools.filePath(QStringLiteral("link")); }

private slots:
    void initTestCase() {
        corvane::InitializeApplication();
        QVERIFY(FTools.isValid());
        qputenv("PATH", FTools.path().toUtf8());
    }

    void resultShowsFalhaDialog_data() {
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("text");
        QTest::newRow("success") << 0 << false << QString();
        QTest::newRow("no mail tool")
            << 1 << true
            << QStringLiteral("The user canceled one of the dialog boxes; no message was sent.");
        QTest::newRow("listed") << 14 << true
                                << QStringLiteral("A recipient did not appear in the address "
                                                  "list; no message was sent.");
        QTest::newRow("unlisted") << 4 << true << QString();
    }

    void resultShowsFalhaDialog() {
        QFETCH(int, result);
        QFETCH(bool, shown);
        QFETCH(QString, text);
        corvane::MainWindow LWindow;
        const TShown LShown =
            WhileActing([&] { corvane::SupportMail::ShowResult(LWindow, result); });
        QCOMPARE(LShown.Shown, shown);
        if (shown) {
            QCOMPARE(LShown.Caption, QStringLiteral("Falha"));
            QCOMPARE(LShown.Text, text);
        }
    }

    // A click on the mail area hands the support address to the mail tool; the tool's failure
    // comes back as the "Falha" dialog, its success as nothing.
    void clickOnMailArea() {
        corvane::MainWindow LForm;
        LForm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&LForm));
        TDialogCatcher LCatcher;
        WriteTool(4);
        QTest::mouseClick(LForm.Area("supportMail"), Qt::LeftButton);
        QTRY_COMPARE(LForm.Shell().SupportMailsUnderway(), 0);
        QCOMPARE(LCatcher.Shown.size(), size_t(1));
        QCOMPARE(LCatcher.Shown[0].Caption, QStringLiteral("Falha"));
        QCOMPARE(LCatcher.Shown[0].Text,
                 QStringLiteral("One or more unspecified errors occurred; no message was sent."));
        QFile LLink(Link());
        QVERIFY(LLink.open(QIODevice::ReadOnly));
        QCOMPARE(LLink.readAll(), QByteArray("mailto:") + corvane::SupportEmail);

        WriteTool(0);
        QTest::mouseClick(LForm.Area("supportMail"), Qt::LeftButton);
        QTRY_COMPARE(LForm.Shell().SupportMailsUnderway(), 0);
        QVERIFY(QFile::exists(Link()));
        QCOMPARE(LCatcher.Shown.size(), size_t(1));
        QCOMPARE(LForm.Area("supportMail")->toolTip(),
                 QStringLiteral("e-mail : ") + QString::fromUtf8(corvane::SupportEmail));
    }

    // xdg-email waits for a mail client it had to start until that client ends. Meanwhile the
    // window goes on handling events, and the outcome is shown once the tool has ended.
    void windowAnswersWhileMailToolRuns() {
        const QString LFifo = FTools.filePath(QStringLiteral("release"));
        QCOMPARE(::mkfifo(LFifo.toLocal8Bit().constData(), 0600), 0);
        WriteTool(1, LFifo);
        const TReleaseAtEnd LCleanUp{LFifo};
        corvane::MainWindow LForm;
        LForm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&LForm));
        TDialogCatcher LCatcher;

        // Should the click keep the main thread until the tool ends, the guard lets the tool
        // go, so that the test fails instead of waiting for ever.
        std::promise<void> LClickReturned;
        std::atomic<bool> LReleasedByGuard{false};
        std::thread LGuard([&, LReturned = LClickReturned.get_future()] {
            if (LReturned.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
                LReleasedByGuard = true;
                Release(LFifo);
            }
        });
        bool LTimerFired = false;
        QTimer::singleShot(0, &LForm, [&] { LTimerFired = true; });
        QTest::mouseClick(LForm.Area("supportMail"), Qt::LeftButton);
        LClickReturned.set_value();
        LGuard.join();
        QVERIFY(!LReleasedByGuard);

        // The tool runs and waits; the window handles its events.
        QTRY_VERIFY(QFile::exists(Link()));
        QTRY_VERIFY(LTimerFired);
        QCOMPARE(LForm.Shell().SupportMailsUnderway(), 1);
        QVERIFY(LCatcher.Shown.empty());

        Release(LFifo);
        QTRY_COMPARE(LForm.Shell().SupportMailsUnderway(), 0);
        QCOMPARE(LCatcher.Shown.size(), size_t(1));
        QCOMPARE(LCatcher.Shown[0].Caption, QStringLiteral("Falha"));
        QCOMPARE(LCatcher.Shown[0].Text,
                 QStringLiteral("One or more unspecified errors occurred; no message was sent."));
    }
};

QTEST_MAIN(MainWindowSupportMailTest)
#include "MainWindowSupportMailTest.moc"
