// TTrayIcon: the launcher's icon in the notification area. Its mouse events reach the window
// as the mouse-message codes the window's TrayMessage handles.
#pragma once

#include <QObject>

#include <functional>

class QIcon;
class QSystemTrayIcon;

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

    // Shows the icon. False when the desktop has no notification area: there is no icon.
    bool Add();
    // Removes the icon, whether or not adding it succeeded.
    void Delete();

    // Called with the mouse event's code for every event on the icon.
    std::function<void(int)> OnMessage;

    QSystemTrayIcon* Icon() const { return FIcon; }

private:
    QSystemTrayIcon* FIcon;
};

} // namespace corvane
