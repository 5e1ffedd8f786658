// The application's default error report: what the user sees when an error escapes an event
// handler. The handler's work stops there; the program goes on. Main thread only.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace corvane {

// Receives the message of one error to report.
using TErrorReport = std::function<void(const std::string& AMessage)>;

// Reports an error through the current report (the error box unless replaced).
void ShowException(const std::exception& AError);
void ShowErrorMessage(const std::string& AMessage);

// The error box: a modal message box captioned with the application title, with the error
// icon, the message and an OK button. Returns when the user has closed it.
void ShowErrorBox(const std::string& AMessage);

// Replaces the report, e.g. for a run without a user; an empty report restores the error
// box. Returns the report that was in place.
// (Defined once, in the update layer, so both layers share one report.)
TErrorReport SetErrorReport(TErrorReport AReport);
TErrorReport CurrentErrorReport();

// Runs an event handler: an error that escapes it is reported and goes no further, as every
// handler of the launcher needs (Qt's event loop must never see an exception).
template <class THandler> void RunGuarded(THandler&& AHandler) noexcept {
    try {
        AHandler();
    } catch (const std::exception& LError) {
        ShowException(LError);
    }
}

} // namespace corvane
