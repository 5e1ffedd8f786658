// TrayIcon: the launcher's icon in the notification area. It tells the window what happened to
// it through its signals; a notification area that comes up after the launcher is picked up.
#pragma once

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

signals:
    void DoubleClicked();
    // The icon's context menu is asked for (a right click).
    void MenuRequested();
    // A notification area that appeared after Add has taken the icon.
    void Added();

private:
    void Retry();

    QSystemTrayIcon* icon_;
    QTimer* retry_;
};

} // namespace corvane
