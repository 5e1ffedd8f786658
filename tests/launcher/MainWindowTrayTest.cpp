// The window's pop-up menu, the tray icon's events and what closing and minimising do
// (offscreen: no notification area, so the icon's activations are raised as the desktop would).
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
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using corvane::MainWindow;

class MainWindowTrayTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> window_;

    // What the desktop reports for a mouse event on the tray icon.
    void Activate(QSystemTrayIcon::ActivationReason reason) {
        emit window_->Tray()->Icon()->activated(reason);
    }

    // The window as the start leaves it with its tray icon added (offscreen there is no
    // notification area, so the icon is taken as added), then closed with the close box:
    // minimised into the tray.
    void CloseIntoTray() {
        window_->Shell().TrayIconAdded();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QVERIFY(!window_->close());
        QTRY_VERIFY(window_->isHidden());
        QVERIFY(!window_->Shell().ClosingEndsProgram());
    }

private slots:
    void initTestCase() { corvane::InitializeApplication(); }
    void init() { window_ = std::make_unique<MainWindow>(); }
    void cleanup() {
        window_->PopupMenu()->hide();
        window_.reset();
    }

    void MenuHasTwoCommandsAndSeparator() {
        const QList<QAction*> actions = window_->PopupMenu()->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0], window_->OpenAction());
        QCOMPARE(actions[0]->text(), QStringLiteral("Abre o Sistema de Gesttão Hospitalar"));
        QVERIFY(actions[1]->isSeparator());
        QCOMPARE(actions[2], window_->CloseAction());
        QCOMPARE(actions[2]->text(), QStringLiteral("Fecha o Sistema de Gesttão Hospitalar"));
    }

    void RightClickOpensMenu_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<bool>("opens");
        QTest::newRow("background") << QStringLiteral("background") << true;
        for (const corvane::ClickArea& area : corvane::ClickAreas()) {
            const QString name = QString::fromUtf8(area.name.data(), area.name.size());
            QTest::newRow(qPrintable(name)) << name << (name != QStringLiteral("makerContact"));
        }
    }

    void RightClickOpensMenu() {
        QFETCH(QString, widget);
        QFETCH(bool, opens);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QWidget* target = window_->findChild<QWidget*>(widget, Qt::FindDirectChildrenOnly);
        QVERIFY(target);
        const QPoint point(target->width() / 2, target->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, point, target->mapToGlobal(point));
        QApplication::sendEvent(target, &event);
        QCOMPARE(window_->PopupMenu()->isVisible(), opens);
    }

    // Closing minimises and hides; the tray's double-click and the menu's first command bring
    // the window back; single clicks and the middle button do nothing. Coming back does not
    // start another start-up run.
    void CloseMinimisesAndTrayRestores() {
        CloseIntoTray();
        QTRY_VERIFY(!window_->StartupRunTimer()->isActive()); // the start-up run, nothing to do
        Activate(QSystemTrayIcon::Trigger);
        Activate(QSystemTrayIcon::MiddleClick);
        Activate(QSystemTrayIcon::Unknown);
        QVERIFY(window_->isHidden());
        QVERIFY(!window_->PopupMenu()->isVisible());
        Activate(QSystemTrayIcon::DoubleClick);
        QVERIFY(window_->isVisible());
        QVERIFY(!window_->isMinimized());
        QVERIFY(!window_->StartupRunTimer()->isActive());

        CloseIntoTray();
        window_->OpenAction()->trigger();
        QVERIFY(window_->isVisible());
        QVERIFY(!window_->isMinimized());
        QVERIFY(!window_->StartupRunTimer()->isActive());
    }

    void TrayRightClickOpensMenuNearCorner() {
        CloseIntoTray();
        Activate(QSystemTrayIcon::Context);
        QVERIFY(window_->PopupMenu()->isVisible());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QPoint corner(screen.width() - 20, screen.height() - 20);
        // Kept on screen, the menu opens up and to the left of the point.
        QVERIFY2(window_->PopupMenu()->geometry().adjusted(-2, -2, 2, 2).contains(corner),
                 qPrintable(QStringLiteral("menu at %1,%2")
                                .arg(window_->PopupMenu()->x())
                                .arg(window_->PopupMenu()->y())));
        QVERIFY(window_->isHidden());
    }

    // Without a tray icon (offscreen has no notification area) the close box minimises the
    // window and leaves it on the task bar: hidden, it could not be reached again.
    void CloseWithoutTrayIconKeepsWindowOnTaskBar() {
        window_->Start();
        QVERIFY(!window_->Shell().HasTrayIcon());
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QVERIFY(!window_->close());
        // What follows the minimising is queued; let it run.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(window_->isMinimized());
        QVERIFY(window_->isVisible());
        QVERIFY(!window_->Shell().ClosingEndsProgram());
        window_->OpenAction()->trigger();
        QVERIFY(window_->isVisible());
        QVERIFY(!window_->isMinimized());
    }

    // The start-up run fails while the window sits hidden in the tray (its server folder is
    // gone): dismissing the error box is the last visible window closing, and the launcher
    // goes on all the same; it ends only through its close command.
    void DismissedErrorWhileHiddenLeavesProgramRunning() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        window_->Shell().UseServer(root.path().toStdString() + '/',
                                   root.filePath(QStringLiteral("sem servidor/")).toStdString(),
                                   std::string());
        CloseIntoTray();
        constexpr int kStillRunning = 7;
        int shown = 0;
        QTimer dismiss;
        connect(&dismiss, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible())
                return;
            ++shown;
            dialog->done(0);
            // A later turn of the loop, after whatever closing the box queued has been handled:
            // comes only if the loop goes on.
            QMetaObject::invokeMethod(
                window_.get(),
                [this] {
                    QTimer::singleShot(0, window_.get(),
                                       [] { QCoreApplication::exit(kStillRunning); });
                },
                Qt::QueuedConnection);
        });
        dismiss.start(10);
        window_->StartupRunTimer()->start();
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(10000);
        QCOMPARE(QCoreApplication::exec(), kStillRunning);
        QCOMPARE(shown, 1);
        QVERIFY(window_->isHidden());
        QVERIFY(!window_->Shell().ClosingEndsProgram());
    }

    // The menu's second command ends the program: the event loop returns.
    void CloseCommandEndsProgram() {
        window_->show();
        QTimer::singleShot(0, window_.get(), [this] { window_->CloseAction()->trigger(); });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(window_->Shell().ClosingEndsProgram());
        QVERIFY(!window_->isVisible());
    }
};

QTEST_MAIN(MainWindowTrayTest)
#include "MainWindowTrayTest.moc"
