#include "launcher/TrayIcon.h"

#include <QSystemTrayIcon>
#include <QTimer>

namespace corvane {

namespace {

int MouseMessage(QSystemTrayIcon::ActivationReason AReason) {
    switch (AReason) {
    case QSystemTrayIcon::DoubleClick:
        return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context:
        return WM_RBUTTONDOWN;
    case QSystemTrayIcon::MiddleClick:
        return WM_MBUTTONDOWN;
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return WM_LBUTTONDOWN;
}

} // namespace

TTrayIcon::TTrayIcon(const QIcon& AIcon, const QString& ATip, QObject* AParent)
    : QObject(AParent), FIcon(new QSystemTrayIcon(AIcon, this)), FRetry(new QTimer(this)) {
    FIcon->setToolTip(ATip);
    // Qt tells nothing when a notification area comes up, so the desktop is asked again.
    FRetry->setInterval(RetryIntervalMs);
    connect(FRetry, &QTimer::timeout, this, [this] { Retry(); });
    connect(FIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason AReason) {
                if (OnMessage)
                    OnMessage(MouseMessage(AReason));
            });
}

TTrayIcon::~TTrayIcon() {
    Delete();
}

bool TTrayIcon::Add() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        FRetry->start();
        return false;
    }
    FIcon->show();
    return FIcon->isVisible();
}

void TTrayIcon::Retry() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    FRetry->stop();
    FIcon->show();
    if (FIcon->isVisible() && OnAdded)
        OnAdded();
}

void TTrayIcon::Delete() {
    FRetry->stop();
    FIcon->hide();
}

} // namespace corvane
