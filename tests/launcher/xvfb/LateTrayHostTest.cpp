// A notification area that appears only after the launcher has started (Xvfb, with trayer
// started by the test): until it is there, closing the window leaves it on the task bar; once
// it is there, the icon is added and closing hides the window into the tray.
#include "launcher/Application.h"
#include "launcher/MainWindow.h"

#include <QAction>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

class LateTrayHostTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { corvane::InitializeApplication(); }

    void TrayHostThatAppearsLaterIsUsed() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        const std::unique_ptr<corvane::MainWindow> form = corvane::MainWindow::Create();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(!form->Shell().HasTrayIcon());
        QVERIFY(!form->close());
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(form->isVisible());

        QProcess trayer;
        trayer.start(QStringLiteral("trayer"),
                     {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                      QStringLiteral("right"), QStringLiteral("--widthtype"),
                      QStringLiteral("request"), QStringLiteral("--heighttype"),
                      QStringLiteral("pixel"), QStringLiteral("--height"), QStringLiteral("32"),
                      QStringLiteral("--SetDockType"), QStringLiteral("true")});
        QVERIFY(trayer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(form->Shell().HasTrayIcon(), 30000);
        const QSystemTrayIcon* icon = form->findChild<QSystemTrayIcon*>();
        QVERIFY(icon);
        QVERIFY(icon->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!icon->geometry().isEmpty(), 20000);

        form->OpenAction()->trigger();
        QTRY_VERIFY(form->isVisible() && !form->isMinimized());
        QVERIFY(!form->close());
        QTRY_VERIFY(form->isHidden());
        QVERIFY(!form->Shell().ClosingEndsProgram());

        trayer.kill();
        trayer.waitForFinished();
    }
};

QTEST_MAIN(LateTrayHostTest)
#include "LateTrayHostTest.moc"
