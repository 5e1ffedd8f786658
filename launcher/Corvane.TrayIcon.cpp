#include "Corvane.TrayIcon.h"

#include <QSystemTrayIcon>

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
    : QObject(AParent), FIcon(new QSystemTrayIcon(AIcon, this)) {
    FIcon->setToolTip(ATip);
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
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    FIcon->show();
    return FIcon->isVisible();
}

void TTrayIcon::Delete() {
    FIcon->hide();
}

} // namespace corvane
