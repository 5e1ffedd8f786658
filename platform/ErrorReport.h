// The application's default error report: where an error that escapes an event handler or a
// call handed to the main thread ends up. It is a slot the view fills: the launcher installs a
// box captioned with the application title; without a report of its own the program writes the
// message to standard error.
//
//     SetErrorReport([](const std::string& message) { ShowErrorBox(message); }); // the view
//     try { handler(); } catch (...) { HandleException(std::current_exception()); }
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace corvane {

// Receives the message of an error nobody else handled. Called on the main thread.
using ErrorReport = std::function<void(const std::string& message)>;

// Installs report as the default error report and returns the one it replaces. An empty
// report puts back the built-in one (the message on standard error).
ErrorReport SetErrorReport(ErrorReport report);

// The report installed now; empty when none is.
ErrorReport CurrentErrorReport();

// The message of an error: what() of a standard exception, else "Unknown exception".
std::string ExceptionMessage(const std::exception_ptr& error);

// Hands error to the default error report. Never raises: an error of the report itself is
// dropped, so the caller goes on.
void HandleException(const std::exception_ptr& error) noexcept;

} // namespace corvane
