// Which kind of notification area the tray icon reports, on a private session bus of its own
// (ctest starts this test under dbus-run-session): a status-notifier watcher with a host
// registered is a D-Bus host, which reports clicks as single activations; without one the X11
// system tray takes the icon.
#include "launcher/Application.h"
#include "launcher/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QIcon>
#include <QObject>
#include <QTest>

namespace {

// Stands in for the desktop's status-notifier watcher: the one property the tray icon reads.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)

public:
    explicit FakeWatcher(bool hostRegistered) : hostRegistered_(hostRegistered) {}
    bool HostRegistered() const { return hostRegistered_; }

private:
    bool hostRegistered_;
};

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

class TrayHostKindTest : public QObject {
    Q_OBJECT

private:
    // Puts a watcher on the bus for as long as the returned object lives.
    std::unique_ptr<FakeWatcher> Publish(bool hostRegistered) {
        auto watcher = std::make_unique<FakeWatcher>(hostRegistered);
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.registerObject(kWatcherPath, watcher.get(), QDBusConnection::ExportAllProperties))
            return nullptr;
        if (!bus.registerService(kWatcherService)) {
            bus.unregisterObject(kWatcherPath);
            return nullptr;
        }
        return watcher;
    }

    void Withdraw() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(kWatcherService);
        bus.unregisterObject(kWatcherPath);
    }

    corvane::TrayHost HostOfNewIcon() {
        corvane::TrayIcon icon(QIcon(), QStringLiteral("Corvane Plexa"), nullptr);
        return icon.Host();
    }

private slots:
    void initTestCase() {
        corvane::InitializeApplication();
        QVERIFY2(QDBusConnection::sessionBus().isConnected(),
                 "no session bus: run this test under dbus-run-session");
    }

    void NoWatcherMeansTheX11Tray() {
        QVERIFY(!corvane::TrayIcon::StatusNotifierHostRegistered());
        QCOMPARE(HostOfNewIcon(), corvane::TrayHost::ClicksApart);
    }

    void WatcherWithoutHostMeansTheX11Tray() {
        const std::unique_ptr<FakeWatcher> watcher = Publish(false);
        QVERIFY(watcher);
        QVERIFY(!corvane::TrayIcon::StatusNotifierHostRegistered());
        QCOMPARE(HostOfNewIcon(), corvane::TrayHost::ClicksApart);
        Withdraw();
    }

    void WatcherWithHostMeansSingleActivations() {
        const std::unique_ptr<FakeWatcher> watcher = Publish(true);
        QVERIFY(watcher);
        QVERIFY(corvane::TrayIcon::StatusNotifierHostRegistered());
        QCOMPARE(HostOfNewIcon(), corvane::TrayHost::SingleActivation);
        Withdraw();
        QVERIFY(!corvane::TrayIcon::StatusNotifierHostRegistered());
    }
};

QTEST_MAIN(TrayHostKindTest)
#include "TrayHostKindTest.moc"
