// The service strategies: the server is the HTTP file service named by the URL. This build
// has no file-service client yet, so a run with a URL fails at once with a clear message
// instead of updating nothing in silence.
#include "Corvane.Errors.h"
#include "Corvane.FilesUpdater.h"

namespace corvane {

namespace {

[[noreturn]] void ThrowServiceNotAvailable() {
    throw Exception("Updating from a file service (url) is not available in this version; "
                    "use a server folder");
}

} // namespace

void TFilesUpdater::FillRemoteListFromService() {
    ThrowServiceNotAvailable();
}

TFileOutcome TFilesUpdater::UpdateFileFromService(const std::string&, const std::string&,
                                                  TDateTime) {
    ThrowServiceNotAvailable();
}

} // namespace corvane
