// The launcher's side of the application's default error report (platform/ErrorReport.h):
// the error box it installs and the guard every event handler runs in. Main thread only.
#pragma once

#include "platform/ErrorReport.h"

#include <exception>
#include <string>

namespace corvane {

// Reports an error through the application's default error report (the error box once
// InstallErrorBox has run).
void ShowException(const std::exception& error);
void ShowErrorMessage(const std::string& message);

// The error box: a modal message box captioned with the application title, with the error
// icon, the message and an OK button. Returns when the user has closed it.
void ShowErrorBox(const std::string& message);

// Makes the error box the application's default error report, so that errors escaping a
// handler and errors of calls handed to the main thread end up in the same place.
void InstallErrorBox();

// Runs an event handler: an error that escapes it is reported and goes no further, as every
// handler of the launcher needs (Qt's event loop must never see an exception).
template <class Handler> void RunGuarded(Handler&& handler) noexcept {
    try {
        handler();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

} // namespace corvane
