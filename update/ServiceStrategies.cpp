// The service strategies: the server is the HTTP file service named by the URL. The listing
// asks once per run for the whole tree; each outdated file is fetched by a job of its own.
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/Locale.h"
#include "platform/PathLock.h"
#include "platform/Paths.h"
#include "update/Errors.h"
#include "update/FileServiceClient.h"
#include "update/FilesUpdater.h"

#include <string_view>
#include <utility>

namespace corvane {

namespace {

// The service sends bytes, not permissions: a module must stay startable, the other files
// need no execute bit.
unsigned DownloadPermissions(std::string_view AFileName) {
    const std::string_view LExtension = ".EXE";
    if (AFileName.size() >= LExtension.size() &&
        UpperCase(std::string(AFileName.substr(AFileName.size() - LExtension.size()))) ==
            LExtension)
        return 0777;
    return 0666;
}

} // namespace

void TFilesUpdater::FillRemoteListFromService() {
    FRemoteList.clear();
    TRESTClientFileList LClient(FURL);
    // An error object answered by the service leaves the client without records: the remote
    // list stays empty and the run updates nothing. Transport errors and statuses from 500 up
    // raise and end Execute.
    LClient.Execute("\\", "*.*", true);
    for (int i = 0; i < LClient.Count(); ++i) {
        TFileInfoDTO LItem = *LClient.Items(i);
        std::string LKey = UpperCase(LItem.FFileName);
        AddRemoteFile(std::move(LKey), std::move(LItem));
    }
}

TFileOutcome TFilesUpdater::UpdateFileFromService(const std::string& AFileName,
                                                  const std::string& ARemoteName, TDateTime AAge) {
    // The service resolves names without regard to case: the request carries the local
    // record's own name, as the local list writes it.
    (void)ARemoteName;
    const std::string LTarget = JoinPath(FLocalPath, AFileName);
    // The same path limit as the folder copy's, in characters of the path.
    CheckPathLength(LTarget);
    // One writer per file across overlapping runs; whoever waited checks whether the other
    // writer has already brought the file to the server's age.
    TPathLock LLock(LTarget);
    if (LLock.Waited()) {
        if (FileAge(LTarget) == AAge)
            return TFileOutcome::AlreadyCurrent;
    }
    // No folder is created: a target whose folder is missing fails here, writing nothing.
    // The bytes go to a file beside the target that replaces it only once complete and
    // stamped, so a failed download leaves the previous file as it was.
    TReplacementFile LFile(LTarget, DownloadPermissions(AFileName));
    TRESTClientDownload LClient(FURL);
    if (!LClient.DownloadTo(
            AFileName, [&LFile](const char* AData, size_t ASize) { LFile.Write(AData, ASize); }))
        throw ERESTException(LClient.Error());
    LFile.Commit(AAge);
    return TFileOutcome::Updated;
}

} // namespace corvane
