#include "dialogs/MessageDialogHost.h"

#include <QCoreApplication>

#include <utility>

namespace corvane {

namespace {

TDialogHelpViewer& HelpViewer() {
    static TDialogHelpViewer LViewer;
    return LViewer;
}

} // namespace

TDialogHelpViewer SetDialogHelpViewer(TDialogHelpViewer AViewer) {
    return std::exchange(HelpViewer(), std::move(AViewer));
}

void ShowDialogHelp(int AHelpContext, const QString& AHelpFile) {
    if (const TDialogHelpViewer& LViewer = HelpViewer())
        LViewer(AHelpContext, AHelpFile);
}

QString ApplicationTitle() {
    // The launcher gives the application its title as the application name (the display name
    // would be appended to window titles).
    return QCoreApplication::applicationName();
}

} // namespace corvane
