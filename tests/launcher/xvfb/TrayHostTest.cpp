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

    void TrayIconAppearsAndDoubleClickRestores() {
        // trayer starts beside this program; the notification area appears when it is up.
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 20000);
        const std::unique_ptr<corvane::MainWindow> form = corvane::MainWindow::Create();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(form->Shell().HasTrayIcon());
        const QSystemTrayIcon* icon = form->findChild<QSystemTrayIcon*>();
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QStringLiteral("Corvane Plexa"));
        QTRY_VERIFY_WITH_TIMEOUT(!icon->geometry().isEmpty(), 20000);
        QVERIFY(form->grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/MainWindow-x11.png")));

        QVERIFY(!form->close());
        QTRY_VERIFY(form->isHidden());
        const QPoint centre = icon->geometry().center();
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                                   {QStringLiteral("mousemove"), QString::number(centre.x()),
                                    QString::number(centre.y()), QStringLiteral("click"),
                                    QStringLiteral("--repeat"), QStringLiteral("2"),
                                    QStringLiteral("--delay"), QStringLiteral("80"),
                                    QStringLiteral("1")}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(form->isVisible() && !form->isMinimized(), 10000);
    }
};

QTEST_MAIN(TrayHostTest)
#include "TrayHostTest.moc"
