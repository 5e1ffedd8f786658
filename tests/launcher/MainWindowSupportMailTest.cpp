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

using corvane::MessageDialogWindow;

namespace {

struct Shown {
    bool shown = false;
    QString caption;
    QString text;
};

// Reads and closes every message dialog that comes up while it lives.
class DialogCatcher {
public:
    DialogCatcher() {
        QObject::connect(&watch_, &QTimer::timeout, [this] {
            auto* form = qobject_cast<MessageDialogWindow*>(QApplication::activeModalWidget());
            if (!form || !form->isVisible())
                return;
            Shown dialog;
            dialog.shown = true;
            dialog.caption = form->windowTitle();
            if (auto* memo = form->findChild<corvane::MessageDialogText*>())
                dialog.text = memo->toPlainText();
            shown.push_back(dialog);
            form->done(0);
        });
        watch_.start(10);
    }

    std::vector<Shown> shown;

private:
    QTimer watch_;
};

// Runs act; a dialog that comes up meanwhile is read and closed.
Shown WhileActing(const std::function<void()>& act) {
    DialogCatcher catcher;
    act();
    return catcher.shown.empty() ? Shown() : catcher.shown.front();
}

// Lets a stand-in tool blocked on the FIFO go on; waits for it to open the FIFO unless
// onlyIfWaiting.
void Release(const QString& fifo, bool onlyIfWaiting = false) {
    const int fifoDescriptor =
        ::open(fifo.toLocal8Bit().constData(), O_WRONLY | (onlyIfWaiting ? O_NONBLOCK : 0));
    if (fifoDescriptor >= 0) {
        (void)!::write(fifoDescriptor, "\n", 1);
        ::close(fifoDescriptor);
    }
}

// A test that fails half-way leaves no stand-in tool waiting behind it.
struct ReleaseAtEnd {
    QString fifo;
    ~ReleaseAtEnd() { Release(fifo, true); }
};

} // namespace

class MainWindowSupportMailTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tools_;

    // The stand-in records its link; with fifo it then waits until a line arrives there.
    void WriteTool(int exitCode, const QString& fifo = QString()) {
        QFile::remove(Link());
        QFile tool(tools_.filePath(QStringLiteral("xdg-email")));
        QVERIFY(tool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString script = QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > \"%1\"\n").arg(Link());
        if (!fifo.isEmpty())
            script += QStringLiteral("read LINE < \"%1\"\n").arg(fifo);
        script += QStringLiteral("exit %1\n").arg(exitCode);
        tool.write(script.toUtf8());
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString Link() const { return tools_.filePath(QStringLiteral("link")); }

private slots:
    void initTestCase() {
        corvane::InitializeApplication();
        QVERIFY(tools_.isValid());
        qputenv("PATH", tools_.path().toUtf8());
    }

    void ResultShowsFalhaDialog_data() {
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

    void ResultShowsFalhaDialog() {
        QFETCH(int, result);
        QFETCH(bool, shown);
        QFETCH(QString, text);
        corvane::MainWindow window;
        const Shown dialog = WhileActing([&] { corvane::SupportMail::ShowResult(window, result); });
        QCOMPARE(dialog.shown, shown);
        if (shown) {
            QCOMPARE(dialog.caption, QStringLiteral("Falha"));
            QCOMPARE(dialog.text, text);
        }
    }

    // A click on the mail area hands the support address to the mail tool; the tool's failure
    // comes back as the "Falha" dialog, its success as nothing.
    void ClickOnMailArea() {
        corvane::MainWindow form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        DialogCatcher catcher;
        WriteTool(4);
        QTest::mouseClick(form.Area("supportMail"), Qt::LeftButton);
        QTRY_COMPARE(form.Shell().SupportMailsUnderway(), 0);
        QCOMPARE(catcher.shown.size(), size_t(1));
        QCOMPARE(catcher.shown[0].caption, QStringLiteral("Falha"));
        QCOMPARE(catcher.shown[0].text,
                 QStringLiteral("One or more unspecified errors occurred; no message was sent."));
        QFile link(Link());
        QVERIFY(link.open(QIODevice::ReadOnly));
        QCOMPARE(link.readAll(), QByteArray("mailto:") + corvane::kSupportEmail);

        WriteTool(0);
        QTest::mouseClick(form.Area("supportMail"), Qt::LeftButton);
        QTRY_COMPARE(form.Shell().SupportMailsUnderway(), 0);
        QVERIFY(QFile::exists(Link()));
        QCOMPARE(catcher.shown.size(), size_t(1));
        QCOMPARE(form.Area("supportMail")->toolTip(),
                 QStringLiteral("e-mail : ") + QString::fromUtf8(corvane::kSupportEmail));
    }

    // xdg-email waits for a mail client it had to start until that client ends. Meanwhile the
    // window goes on handling events, and the outcome is shown once the tool has ended.
    void WindowAnswersWhileMailToolRuns() {
        const QString fifo = tools_.filePath(QStringLiteral("release"));
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        WriteTool(1, fifo);
        const ReleaseAtEnd cleanUp{fifo};
        corvane::MainWindow form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        DialogCatcher catcher;

        // Should the click keep the main thread until the tool ends, the guard lets the tool
        // go, so that the test fails instead of waiting for ever.
        std::promise<void> clickReturned;
        std::atomic<bool> releasedByGuard{false};
        std::thread guard([&, returned = clickReturned.get_future()] {
            if (returned.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
                releasedByGuard = true;
                Release(fifo);
            }
        });
        bool timerFired = false;
        QTimer::singleShot(0, &form, [&] { timerFired = true; });
        QTest::mouseClick(form.Area("supportMail"), Qt::LeftButton);
        clickReturned.set_value();
        guard.join();
        QVERIFY(!releasedByGuard);

        // The tool runs and waits; the window handles its events.
        QTRY_VERIFY(QFile::exists(Link()));
        QTRY_VERIFY(timerFired);
        QCOMPARE(form.Shell().SupportMailsUnderway(), 1);
        QVERIFY(catcher.shown.empty());

        Release(fifo);
        QTRY_COMPARE(form.Shell().SupportMailsUnderway(), 0);
        QCOMPARE(catcher.shown.size(), size_t(1));
        QCOMPARE(catcher.shown[0].caption, QStringLiteral("Falha"));
        QCOMPARE(catcher.shown[0].text,
                 QStringLiteral("One or more unspecified errors occurred; no message was sent."));
    }
};

QTEST_MAIN(MainWindowSupportMailTest)
#include "MainWindowSupportMailTest.moc"
