// What the message dialog needs from the application it runs in besides its default error report
// (update/ErrorReport): a help viewer and the title. Main thread only.
#pragma once

#include <functional>

#include <QString>

namespace corvane {

// Shows the help topic AHelpContext of the help file AHelpFile (empty: the application's own).
using TDialogHelpViewer = std::function<void(int AHelpContext, const QString& AHelpFile)>;

// Installs the help viewer and returns the one that was in place. Without one, the help button
// does nothing.
TDialogHelpViewer SetDialogHelpViewer(TDialogHelpViewer AViewer);

// Asks the installed help viewer for a topic.
void ShowDialogHelp(int AHelpContext, const QString& AHelpFile);

// The application title: the caption of mtCustom dialogs.
QString ApplicationTitle();

} // namespace corvane
