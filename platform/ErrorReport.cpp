#include "platform/ErrorReport.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace corvane {

namespace {

std::mutex reportLock;
ErrorReport installedReport;

void WriteToStandardError(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
}

} // namespace

ErrorReport SetErrorReport(ErrorReport report) {
    std::lock_guard guard(reportLock);
    return std::exchange(installedReport, std::move(report));
}

ErrorReport CurrentErrorReport() {
    std::lock_guard guard(reportLock);
    return installedReport;
}

std::string ExceptionMessage(const std::exception_ptr& error) {
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "Unknown exception";
}

void HandleException(const std::exception_ptr& error) noexcept {
    try {
        ErrorReport report;
        {
            std::lock_guard guard(reportLock);
            report = installedReport;
        }
        const std::string message = ExceptionMessage(error);
        if (report) {
            report(message);
        } else {
            WriteToStandardError(message);
        }
    } catch (...) {
        // The report itself failed; there is nowhere left to send it.
    }
}

} // namespace corvane
