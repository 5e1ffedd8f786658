// The window's pop-up menu, the tray icon's messages and what closing and minimising do
// (offscreen: no notification area, so the messages are delivered as the icon would).
#include "launcher/Application.h"
#include "launcher/MainWindow.h"
#include "launcher/PictureArea.h"
#include "launcher/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using corvane::TFrmMenu;

class TrayWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFrmMenu> FForm;

    // The window as the start leaves it with its tray icon added (offscreen there is no
    // notification area, so the added icon is taken as given), then closed with the close
    // box: minimised into the tray.
    void CloseIntoTray() {
        FForm->TrayIconCriado = true;
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        QVERIFY(!FForm->close());
        QTRY_VERIFY(FForm->isHidden());
        QVERIFY(!FForm->Fecha());
    }

private slots:
    void initTestCase() { corvane::InitializeApplication(); }
    void init() { FForm = std::make_unique<TFrmMenu>(); }
    void cleanup() {
        FForm->PopupMenu->hide();
        FForm.reset();
    }

    void menuHasTwoCommandsAndSeparator() {
        const QList<QAction*> LActions = FForm->PopupMenu->actions();
        QCOMPARE(LActions.size(), 3);
        QCOMPARE(LActions[0]->text(), QStringLiteral("Abre o Sistema de Gesttão Hospitalar"));
        QVERIFY(LActions[1]->isSeparator());
        QCOMPARE(LActions[2]->text(), QStringLiteral("Fecha o Sistema de Gesttão Hospitalar"));
    }

    void rightClickOpensMenu_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<bool>("opens");
        for (const char* LName : {"Image1",
                                  "imgInternacao",
                                  "imgProntuario",
                                  "imgAgendaConsulta",
                                  "imgEstoque",
                                  "imgSND",
                                  "imgGlosa",
                                  "imgSame",
                                  "imgCusto",
                                  "imgCompras",
                                  "imgControlEquip",
                                  "imgExames",
                                  "imgFinanceiro",
                                  "imgFaturamento",
                                  "imgTelemarketing",
                                  "imgSuporteRemoto1",
                                  "imgSuporteRemoto2",
                                  "imgEmail",
                                  "imgAdmSistema",
                                  "imgCadGeral"})
            QTest::newRow(LName) << QString::fromLatin1(LName) << true;
        QTest::newRow("imgAeC") << QStringLiteral("imgAeC") << false;
    }

    void rightClickOpensMenu() {
        QFETCH(QString, widget);
        QFETCH(bool, opens);
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        QWidget* LWidget = FForm->findChild<QWidget*>(widget, Qt::FindDirectChildrenOnly);
        QVERIFY(LWidget);
        const QPoint LPoint(LWidget->width() / 2, LWidget->height() / 2);
        QContextMenuEvent LEvent(QContextMenuEvent::Mouse, LPoint, LWidget->mapToGlobal(LPoint));
        QApplication::sendEvent(LWidget, &LEvent);
        QCOMPARE(FForm->PopupMenu->isVisible(), opens);
    }

    // Closing minimises and hides; the tray's double-click and the menu's first command bring
    // the window back; single clicks and other buttons do nothing.
    void closeMinimisesAndTrayRestores() {
        CloseIntoTray();
        FForm->TrayMessage(corvane::WM_LBUTTONDOWN);
        FForm->TrayMessage(corvane::WM_MBUTTONDOWN);
        FForm->TrayMessage(0x0205); // right button released
        QVERIFY(FForm->isHidden());
        QVERIFY(!FForm->PopupMenu->isVisible());
        FForm->TrayMessage(corvane::WM_LBUTTONDBLCLK);
        QVERIFY(FForm->isVisible());
        QVERIFY(!FForm->isMinimized());

        CloseIntoTray();
        FForm->AbreoSistemadeGesttoHospitalar1->trigger();
        QVERIFY(FForm->isVisible());
        QVERIFY(!FForm->isMinimized());
    }

    void trayRightClickOpensMenuNearCorner() {
        CloseIntoTray();
        FForm->TrayMessage(corvane::WM_RBUTTONDOWN);
        QVERIFY(FForm->PopupMenu->isVisible());
        const QRect LScreen = QGuiApplication::primaryScreen()->geometry();
        const QPoint LCorner(LScreen.width() - 20, LScreen.height() - 20);
        // Kept on screen, the menu opens up and to the left of the point.
        QVERIFY2(FForm->PopupMenu->geometry().adjusted(-2, -2, 2, 2).contains(LCorner),
                 qPrintable(QStringLiteral("menu at %1,%2")
                                .arg(FForm->PopupMenu->x())
                                .arg(FForm->PopupMenu->y())));
        QVERIFY(FForm->isHidden());
    }

    // Without a tray icon (offscreen has no notification area) the close box minimises the
    // window and leaves it on the task bar: hidden, it could not be reached again.
    void closeWithoutTrayIconKeepsWindowOnTaskBar() {
        FForm->DoCreate();
        QVERIFY(!FForm->TrayIconCriado);
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        QVERIFY(!FForm->close());
        // What follows the minimising is queued; let it run.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(FForm->isMinimized());
        QVERIFY(FForm->isVisible());
        QVERIFY(!FForm->Fecha());
        FForm->AbreoSistemadeGesttoHospitalar1->trigger();
        QVERIFY(FForm->isVisible());
        QVERIFY(!FForm->isMinimized());
    }

    // The start-up run fails while the window sits hidden in the tray (its server folder is
    // gone): dismissing the error box is the last visible window closing, and the launcher
    // goes on all the same; it ends only through its close command.
    void dismissedErrorWhileHiddenLeavesProgramRunning() {
        QTemporaryDir LRoot;
        QVERIFY(LRoot.isValid());
        FForm->UseServer(LRoot.path().toStdString() + '/',
                         LRoot.filePath(QStringLiteral("sem servidor/")).toStdString(),
                         std::string());
        CloseIntoTray();
        constexpr int StillRunning = 7;
        int LShown = 0;
        QTimer LDismiss;
        connect(&LDismiss, &QTimer::timeout, [&] {
            auto* LDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (LDialog == nullptr || !LDialog->isVisible())
                return;
            ++LShown;
            LDialog->done(0);
            // A later turn of the loop, after whatever closing the box queued has been handled:
            // comes only if the loop goes on.
            QMetaObject::invokeMethod(
                FForm.get(),
                [this] {
                    QTimer::singleShot(0, FForm.get(),
                                       [] { QCoreApplication::exit(StillRunning); });
                },
                Qt::QueuedConnection);
        });
        LDismiss.start(10);
        FForm->Timer1->start();
        QTimer LGuard;
        LGuard.setSingleShot(true);
        connect(&LGuard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        LGuard.start(10000);
        QCOMPARE(QCoreApplication::exec(), StillRunning);
        QCOMPARE(LShown, 1);
        QVERIFY(FForm->isHidden());
        QVERIFY(!FForm->Fecha());
    }

    // The menu's second command ends the program: the event loop returns.
    void closeCommandEndsProgram() {
        FForm->show();
        QTimer::singleShot(0, FForm.get(),
                           [this] { FForm->FechaoSistemadeGesttoHospitalar1->trigger(); });
        QTimer LGuard;
        LGuard.setSingleShot(true);
        connect(&LGuard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        LGuard.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(FForm->Fecha());
        QVERIFY(!FForm->isVisible());
    }
};

QTEST_MAIN(TrayWindowTest)
#include "MainWindowTrayTest.moc"
