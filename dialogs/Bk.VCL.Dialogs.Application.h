// What the message dialog needs from the application it runs in: a report for errors that escape
// a dialog's event handler (the launcher's default error report), a help viewer, and the title.
// The launcher installs its report at start-up; main thread only.
#pragma once

#include <exception>
#include <functional>

#include <QString>

namespace corvane {

// Shows an error that escaped a dialog's event handler; the dialog stays open.
using TDialogErrorHandler = std::function<void(const std::exception& AError)>;

// Shows the help topic AHelpContext of the help file AHelpFile (empty: the application's own).
using TDialogHelpViewer = std::function<void(int AHelpContext, const QString& AHelpFile)>;

// Installs the handlers; each returns the one that was in place. With no error handler
// installed, the error's message goes to Qt's warning output; with no help viewer, the help
// button does nothing.
TDialogErrorHandler SetDialogErrorHandler(TDialogErrorHandler AHandler);
TDialogHelpViewer SetDialogHelpViewer(TDialogHelpViewer AViewer);

// Hands an error to the installed handler; never raises.
void HandleDialogError(const std::exception& AError) noexcept;

// Asks the installed help viewer for a topic.
void ShowDialogHelp(int AHelpContext, const QString& AHelpFile);

// The application title: the caption of mtCustom dialogs.
QString ApplicationTitle();

} // namespace corvane
