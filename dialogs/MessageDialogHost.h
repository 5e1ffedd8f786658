// What the message dialog needs from the application it runs in besides its default error report
// (platform/ErrorReport.h) and its name (the caption of mtCustom dialogs, which the application
// sets to its title): a help viewer. Main thread only.
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

} // namespace corvane
