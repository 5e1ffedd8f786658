// What a mouse event on the tray icon does. Notification areas report clicks in two ways: the
// classic ones (the Windows notification area, the X11 system tray) tell a single click from a
// double-click, and there the window comes back on a double-click; those that speak the D-Bus
// status-notifier protocol (KDE Plasma, GNOME with its tray extension) report a click as one
// activation and never as a double-click, so there that activation brings the window back.
//
//     switch (RespondToTrayEvent(TrayHost::ClicksApart, TrayEvent::DoubleClick)) { ... }
#pragma once

namespace corvane {

// How the notification area holding the icon reports clicks.
enum class TrayHost {
    ClicksApart,      // single and double clicks apart (Windows, the X11 system tray)
    SingleActivation, // one activation per click, never a double-click (D-Bus hosts)
};

// What the notification area reported.
enum class TrayEvent {
    Click, // a single click, or the D-Bus host's activation
    DoubleClick,
    MiddleClick,
    MenuRequest, // a right click
    Other,
};

enum class TrayResponse {
    Nothing,
    Restore,  // the window comes back and to the front
    OpenMenu, // the window's menu opens near the screen's corner
};

TrayResponse RespondToTrayEvent(TrayHost host, TrayEvent event);

} // namespace corvane
