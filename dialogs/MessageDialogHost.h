// What the message dialog needs from the application it runs in besides its default error report
// (platform/ErrorReport.h) and its name (the caption of Custom dialogs, which the application
// sets to its title): a help viewer. Main thread only.
#pragma once

#include <functional>

#include <QString>

namespace corvane {

// Shows the help topic helpContext of the help file helpFile (empty: the application's own).
using DialogHelpViewer = std::function<void(int helpContext, const QString& helpFile)>;

// Installs the help viewer and returns the one that was in place. Without one, the help button
// does nothing.
DialogHelpViewer SetDialogHelpViewer(DialogHelpViewer viewer);

// Asks the installed help viewer for a topic.
void ShowDialogHelp(int helpContext, const QString& helpFile);

} // namespace corvane
