// TrayIcon: the launcher's icon in the notification area. It tells the window what happened to
// it through its signals; a notification area that comes up after the launcher is picked up.
#pragma once

#include "shell/TrayActivation.h"

#include <QObject>

class QIcon;
class QSystemTrayIcon;
class QTimer;

namespace corvane {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QIcon& icon, const QString& tip, QObject* parent);
    ~TrayIcon() override;

    // How often a desktop without a notification area is looked at again.
    static constexpr int kRetryIntervalMs = 1000;

    // Shows the icon. False when the desktop has no notification area yet: there is no icon,
    // and the desktop is looked at again until one appears; then the icon is shown and added
    // is signalled.
    bool Add();
    // Removes the icon, whether or not adding it succeeded, and stops looking for an area.
    void Remove();

    QSystemTrayIcon* Icon() const { return icon_; }

    // How the notification area that holds the icon reports clicks. Qt settles it when the
    // icon is made: a D-Bus status-notifier host registered on the session bus then takes the
    // icon for the whole run, otherwise the X11 system tray does.
    TrayHost Host() const { return host_; }

    // The D-Bus host as Qt looks for it: a status-notifier watcher on the session bus with a
    // host registered.
    static bool StatusNotifierHostRegistered();

signals:
    // The desktop reported a mouse event on the icon.
    void Activated(corvane::TrayEvent event);
    // A notification area that appeared after Add has taken the icon.
    void Added();

private:
    void Retry();

    TrayHost host_;
    QSystemTrayIcon* icon_;
    QTimer* retry_;
};

} // namespace corvane
