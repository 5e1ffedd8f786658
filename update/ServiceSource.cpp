// The service source: the server is the HTTP file service named by the URL. The listing asks
// once per run for the whole tree; each outdated file is fetched by a job of its own.
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/PathLock.h"
#include "platform/Paths.h"
#include "update/DownloadBlocks.h"
#include "update/Errors.h"
#include "update/FileServiceClient.h"
#include "update/LocalFilePermissions.h"
#include "update/RemoteSource.h"
#include "update/StreamSha256.h"

#include <optional>
#include <utility>

namespace corvane {

namespace {

class ServiceSource final : public RemoteSource {
public:
    ServiceSource(std::string localPath, std::string url)
        : localPath_(std::move(localPath)), url_(std::move(url)) {}

    void FillRemoteList(RemoteFileList& remoteList) override;
    FileOutcome FetchFile(const std::string& fileName, const FileRecord& remoteFile, DateTime age,
                          const BytesArrivedCallback& arrived) override;

private:
    const std::string localPath_;
    const std::string url_;
};

void ServiceSource::FillRemoteList(RemoteFileList& remoteList) {
    FileServiceClient client(url_);
    // An error object answered by the service leaves the client without records: the remote
    // list stays empty and the run updates nothing. Transport errors and statuses from 500 up
    // raise and end Execute.
    client.Execute("\\", "*.*", true);
    for (FileRecord file : client.Files())
        remoteList.Add(std::move(file));
}

FileOutcome ServiceSource::FetchFile(const std::string& fileName, const FileRecord& remoteFile,
                                     DateTime age, const BytesArrivedCallback& arrived) {
    // The service resolves names without regard to case: the request carries the local
    // record's own name, as the local list writes it.
    const std::string target = JoinPath(localPath_, fileName);
    // The same path limit as the folder copy's, in characters of the path.
    CheckPathLength(target);
    // One writer per file across overlapping runs; whoever waited checks whether the other
    // writer has already brought the file to the server's age.
    PathLock lock(target);
    if (lock.Waited()) {
        if (FileAge(target) == age)
            return FileOutcome::AlreadyCurrent;
    }
    // No folder is created: a target whose folder is missing fails here, writing nothing.
    // The bytes go to a file beside the target that replaces it only once complete and
    // stamped, so a failed download leaves the previous file as it was.
    ReplacementFile file(target, LocalFilePermissions(fileName));
    // The bytes are checked as they stream to disk against what the listing gave, so a file
    // damaged on its way never replaces a good one.
    const std::string corrupted = "Arquivo corrompido no download: " + fileName;
    std::optional<StreamSha256> hash;
    if (remoteFile.sha256)
        hash.emplace(remoteFile.size);
    DownloadBlocks blocks(file, remoteFile.size, hash ? &*hash : nullptr);
    std::uint64_t received = 0;
    FileDownloadClient client(url_);
    if (!client.DownloadTo(fileName, [&](const char* data, size_t size) {
            received += size;
            // A body longer than listed is refused at once rather than fetched to its end.
            if (remoteFile.size && received > *remoteFile.size)
                throw Exception(corrupted);
            blocks.Add(data, size);
            if (arrived)
                arrived(size);
        }))
        throw HttpError(client.Error());
    blocks.Finish();
    if ((remoteFile.size && received != *remoteFile.size) ||
        (hash && hash->Finish() != *remoteFile.sha256))
        throw Exception(corrupted);
    file.Commit(age);
    return FileOutcome::Updated;
}

} // namespace

std::unique_ptr<RemoteSource> MakeServiceSource(std::string localPath, std::string url) {
    return std::make_unique<ServiceSource>(std::move(localPath), std::move(url));
}

} // namespace corvane
