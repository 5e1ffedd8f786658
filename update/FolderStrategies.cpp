// The folder strategies: the server is a folder reachable by path (a network share as a rule).
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/Locale.h"
#include "platform/PathLock.h"
#include "platform/Paths.h"
#include "update/FilesUpdater.h"

#include <utility>

namespace corvane {

void TFilesUpdater::FillRemoteListFromFolder() {
    // An empty server folder would make the root of the file system the server.
    if (FRemotePath.empty())
        throw EDirectoryNotFoundException("The specified path was not found");
    const std::string LRoot = IncludeTrailingBackslash(FRemotePath);
    std::vector<TUnreadFolder> LUnreadFolders;
    std::vector<TListedFile> LFiles = ListFilesWithAges(LRoot, LUnreadFolders);
    // A subfolder closed to us hides its files: the rest is still updated, and the failure is
    // told rather than passed over.
    for (const TUnreadFolder& LFolder : LUnreadFolders)
        ReportUnreadFolder(LFolder.FolderName.substr(LRoot.size()), LFolder.Message);
    FRemoteList.reserve(LFiles.size());
    for (TListedFile& LFile : LFiles) {
        // A file that vanished while the tree was listed has no age to compare: left out.
        if (!LFile.Age)
            continue;
        std::string LName = LFile.FileName.substr(LRoot.size());
        std::string LKey = UpperCase(LName);
        AddRemoteFile(std::move(LKey), TFileInfoDTO(std::move(LName), *LFile.Age));
    }
}

TFileOutcome TFilesUpdater::UpdateFileFromFolder(const std::string& AFileName,
                                                 const std::string& ARemoteName, TDateTime AAge) {
    // The source is the name the server lists: a local name in other capitals names the same
    // file for the launcher, but not for a case-sensitive file system.
    const std::string LSource = JoinPath(FRemotePath, ARemoteName);
    const std::string LTarget = JoinPath(FLocalPath, AFileName);
    // One writer per file across overlapping runs; whoever waited checks whether the other
    // writer has already brought the file to the server's age.
    TPathLock LLock(LTarget);
    if (LLock.Waited()) {
        if (FileAge(LTarget) == AAge)
            return TFileOutcome::AlreadyCurrent;
    }
    const std::string LFolder = ExtractFilePath(LTarget);
    if (!LFolder.empty())
        ForceDirectories(LFolder);
    // The new file replaces the old one only once it is complete and stamped; any failure
    // leaves the old file as it was, for the next run to compare again.
    CopyFileReplacing(LSource, LTarget, AAge);
    return TFileOutcome::Updated;
}

} // namespace corvane
