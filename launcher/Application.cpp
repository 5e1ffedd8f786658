#include "launcher/Application.h"

#include "launcher/ErrorBox.h"
#include "launcher/QtMainThreadDispatcher.h"
#include "shell/LauncherTexts.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QString>

namespace corvane {

void InitializeApplication() {
    // The application name, not the display name: Qt appends a display name to every window
    // title, and the window's caption must read exactly as the launcher sets it.
    QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    InstallErrorBox();
    // Completion callbacks of update runs and other hand-overs come through the event loop.
    SetMainThreadDispatcher(std::make_shared<QtMainThreadDispatcher>());
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/artwork/Corvane.png")));
        // A message closed while the window sits in the tray is the last visible window
        // closing; the launcher ends only through its own close command.
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }
}

} // namespace corvane
