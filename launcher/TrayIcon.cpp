#include "launcher/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariant>

namespace corvane {

namespace {

TrayEvent EventOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return TrayEvent::Click;
    case QSystemTrayIcon::DoubleClick:
        return TrayEvent::DoubleClick;
    case QSystemTrayIcon::MiddleClick:
        return TrayEvent::MiddleClick;
    case QSystemTrayIcon::Context:
        return TrayEvent::MenuRequest;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return TrayEvent::Other;
}

} // namespace

bool TrayIcon::StatusNotifierHostRegistered() {
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(watcher).value())
        return false;
    QDBusInterface watcherObject(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return watcherObject.property("IsStatusNotifierHostRegistered").toBool();
}

TrayIcon::TrayIcon(const QIcon& icon, const QString& tip, QObject* parent)
    : QObject(parent),
      host_(StatusNotifierHostRegistered() ? TrayHost::SingleActivation : TrayHost::ClicksApart),
      icon_(new QSystemTrayIcon(icon, this)), retry_(new QTimer(this)) {
    icon_->setToolTip(tip);
    // Qt tells nothing when a notification area comes up, so the desktop is asked again.
    retry_->setInterval(kRetryIntervalMs);
    connect(retry_, &QTimer::timeout, this, [this] { Retry(); });
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { emit Activated(EventOf(reason)); });
}

TrayIcon::~TrayIcon() {
    Remove();
}

bool TrayIcon::Add() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        retry_->start();
        return false;
    }
    icon_->show();
    return icon_->isVisible();
}

void TrayIcon::Retry() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    retry_->stop();
    icon_->show();
    if (icon_->isVisible())
        emit Added();
}

void TrayIcon::Remove() {
    retry_->stop();
    icon_->hide();
}

} // namespace corvane
