#include "launcher/TrayIcon.h"

#include <QSystemTrayIcon>
#include <QTimer>

namespace corvane {

TrayIcon::TrayIcon(const QIcon& icon, const QString& tip, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(icon, this)), retry_(new QTimer(this)) {
    icon_->setToolTip(tip);
    // Qt tells nothing when a notification area comes up, so the desktop is asked again.
    retry_->setInterval(kRetryIntervalMs);
    connect(retry_, &QTimer::timeout, this, [this] { Retry(); });
    // Single clicks and the middle button do nothing.
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    emit DoubleClicked();
                else if (reason == QSystemTrayIcon::Context)
                    emit MenuRequested();
            });
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
