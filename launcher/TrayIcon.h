// TTrayIcon: the launcher's icon in the notification area. Its mouse events reach the window
// as the mouse-message codes the window's TrayMessage handles.
#pragma once

#include <QObject>

#include <functional>

class QIcon;
class QSystemTrayIcon;
class QTimer;

namespace corvane {

// The mouse events of the tray icon, as TrayMessage receives them.
enum TTrayMouseMessage : int {
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_MBUTTONDOWN = 0x0207,
};

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    TTrayIcon(const QIcon& AIcon, const QString& ATip, QObject* AParent);
    ~TTrayIcon() override;

    // How often a desktop without a notification area is looked at again.
    static constexpr int RetryIntervalMs = 1000;

    // Shows the icon. False when the desktop has no notification area yet: there is no icon,
    // and the desktop is looked at again until one appears; then the icon is shown and
    // OnAdded is called.
    bool Add();
    // Removes the icon, whether or not adding it succeeded, and stops looking for an area.
    void Delete();

    // Called with the mouse event's code for every event on the icon.
    std::function<void(int)> OnMessage;
    // Called when a notification area that appeared after Add has taken the icon.
    std::function<void()> OnAdded;

    QSystemTrayIcon* Icon() const { return FIcon; }

private:
    void Retry();

    QSystemTrayIcon* FIcon;
    QTimer* FRetry;
};

} // namespace corvane
