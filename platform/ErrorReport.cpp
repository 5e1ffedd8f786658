#include "platform/ErrorReport.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace corvane {

namespace {

std::mutex ReportLock;
TErrorReport InstalledReport;

void WriteToStandardError(const std::string& AMessage) {
    std::fprintf(stderr, "%s\n", AMessage.c_str());
    std::fflush(stderr);
}

} // namespace

TErrorReport SetErrorReport(TErrorReport AReport) {
    std::lock_guard LGuard(ReportLock);
    return std::exchange(InstalledReport, std::move(AReport));
}

TErrorReport CurrentErrorReport() {
    std::lock_guard LGuard(ReportLock);
    return InstalledReport;
}

std::string ExceptionMessage(const std::exception_ptr& AError) {
    try {
        if (AError) {
            std::rethrow_exception(AError);
        }
    } catch (const std::exception& E) {
        return E.what();
    } catch (...) {
    }
    return "Unknown exception";
}

void HandleException(const std::exception_ptr& AError) noexcept {
    try {
        TErrorReport LReport;
        {
            std::lock_guard LGuard(ReportLock);
            LReport = InstalledReport;
        }
        const std::string LMessage = ExceptionMessage(AError);
        if (LReport) {
            LReport(LMessage);
        } else {
            WriteToStandardError(LMessage);
        }
    } catch (...) {
        // The report itself failed; there is nowhere left to send it.
    }
}

} // namespace corvane
