// The tray icon on a real X display (Xvfb with trayer as the notification area): it appears,
// and a double-click on it (by xdotool, as a user's) brings the closed window back. A
// screenshot of the window at start is saved next to the test (MainWindow-x11.png).
#include "launcher/Application.h"
#include "launcher/MainWindow.h"

#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

class TrayHostTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { corvane::InitializeApplication(); }

    void trayIconAppearsAndDoubleClickRestores() {
        // trayer starts beside this program; the notification area appears when it is up.
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 20000);
        const std::unique_ptr<corvane::MainWindow> LForm = corvane::MainWindow::Create();
        LForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(LForm.get()));
        QVERIFY(LForm->Shell().HasTrayIcon());
        const QSystemTrayIcon* LIcon = LForm->findChild<QSystemTrayIcon*>();
        QVERIFY(LIcon);
        QCOMPARE(LIcon->toolTip(), QStringLiteral("Corvane Plexa"));
        QTRY_VERIFY_WITH_TIMEOUT(!LIcon->geometry().isEmpty(), 20000);
        QVERIFY(LForm->grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/MainWindow-x11.png")));

        QVERIFY(!LForm->close());
        QTRY_VERIFY(LForm->isHidden());
        const QPoint LCentre = LIcon->geometry().center();
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                                   {QStringLiteral("mousemove"), QString::number(LCentre.x()),
                                    QString::number(LCentre.y()), QStringLiteral("click"),
                                    QStringLiteral("--repeat"), QStringLiteral("2"),
                                    QStringLiteral("--delay"), QStringLiteral("80"),
                                    QStringLiteral("1")}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(LForm->isVisible() && !LForm->isMinimized(), 10000);
    }
};

QTEST_MAIN(TrayHostTest)
#include "TrayHostTest.moc"
