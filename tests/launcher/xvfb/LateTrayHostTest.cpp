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

    void trayHostThatAppearsLaterIsUsed() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        const std::unique_ptr<corvane::MainWindow> LForm = corvane::MainWindow::Create();
        LForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(LForm.get()));
        QVERIFY(!LForm->Shell().HasTrayIcon());
        QVERIFY(!LForm->close());
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(LForm->isVisible());

        QProcess LTrayer;
        LTrayer.start(
            QStringLiteral("trayer"),
            {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
             QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
             QStringLiteral("--heighttype"), QStringLiteral("pixel"), QStringLiteral("--height"),
             QStringLiteral("32"), QStringLiteral("--SetDockType"), QStringLiteral("true")});
        QVERIFY(LTrayer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(LForm->Shell().HasTrayIcon(), 30000);
        const QSystemTrayIcon* LIcon = LForm->findChild<QSystemTrayIcon*>();
        QVERIFY(LIcon);
        QVERIFY(LIcon->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!LIcon->geometry().isEmpty(), 20000);

        LForm->OpenAction()->trigger();
        QTRY_VERIFY(LForm->isVisible() && !LForm->isMinimized());
        QVERIFY(!LForm->close());
        QTRY_VERIFY(LForm->isHidden());
        QVERIFY(!LForm->Shell().ClosingEndsProgram());

        LTrayer.kill();
        LTrayer.waitForFinished();
    }
};

QTEST_MAIN(LateTrayHostTest)
#include "LateTrayHostTest.moc"
