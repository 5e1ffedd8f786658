// The folder source: the server is a folder reachable by path (a network share as a rule).
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/PathLock.h"
#include "platform/Paths.h"
#include "update/LocalFilePermissions.h"
#include "update/RemoteSource.h"

#include <utility>

namespace corvane {

namespace {

class FolderSource final : public RemoteSource {
public:
    FolderSource(std::string localPath, std::string remotePath)
        : localPath_(std::move(localPath)), remotePath_(std::move(remotePath)) {}

    void FillRemoteList(RemoteFileList& remoteList) override;
    FileOutcome FetchFile(const std::string& fileName, const FileRecord& remoteFile, DateTime age,
                          const BytesArrivedCallback& arrived) override;

private:
    const std::string localPath_;
    const std::string remotePath_;
};

void FolderSource::FillRemoteList(RemoteFileList& remoteList) {
    // An empty server folder would make the root of the file system the server.
    if (remotePath_.empty())
        throw DirectoryNotFoundException("The specified path was not found");
    const std::string root = IncludeTrailingBackslash(remotePath_);
    std::vector<UnreadFolder> unreadFolders;
    std::vector<ListedFile> files = ListFilesWithAges(root, unreadFolders);
    // A subfolder closed to us hides its files: the rest is still updated, and the failure is
    // told rather than passed over.
    for (const UnreadFolder& folder : unreadFolders)
        remoteList.AddUnreadFolder(folder.folderName.substr(root.size()), folder.message);
    remoteList.Reserve(files.size());
    for (ListedFile& file : files) {
        // A file that vanished while the tree was listed has no age to compare: left out.
        if (!file.age)
            continue;
        remoteList.Add(FileRecord(file.fileName.substr(root.size()), *file.age));
    }
}

FileOutcome FolderSource::FetchFile(const std::string& fileName, const FileRecord& remoteFile,
                                    DateTime age, const BytesArrivedCallback& arrived) {
    // The source is the name the server lists: a local name in other capitals names the same
    // file for the launcher, but not for a case-sensitive file system.
    const std::string source = JoinPath(remotePath_, remoteFile.fileName);
    const std::string target = JoinPath(localPath_, fileName);
    // One writer per file across overlapping runs; whoever waited checks whether the other
    // writer has already brought the file to the server's age.
    PathLock lock(target);
    if (lock.Waited()) {
        if (FileAge(target) == age)
            return FileOutcome::AlreadyCurrent;
    }
    const std::string folder = ExtractFilePath(target);
    if (!folder.empty())
        ForceDirectories(folder);
    // The new file replaces the old one only once it is complete and stamped; any failure
    // leaves the old file as it was, for the next run to compare again. Its permissions are
    // this installation's, whatever the share presents.
    CopyFileReplacing(source, target, age, LocalFilePermissions(fileName));
    // The kernel copies in one go: the bytes are told once it is done.
    if (arrived) {
        if (const std::int64_t size = FileSizeOf(target); size > 0)
            arrived(static_cast<std::uint64_t>(size));
    }
    return FileOutcome::Updated;
}

} // namespace

std::unique_ptr<RemoteSource> MakeFolderSource(std::string localPath, std::string remotePath) {
    return std::make_unique<FolderSource>(std::move(localPath), std::move(remotePath));
}

} // namespace corvane
