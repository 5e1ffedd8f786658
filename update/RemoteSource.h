// Where an update run fetches its files from: a server folder or the HTTP file service. The
// files updater picks one when it is created, lists the server through it once per run on the
// caller's thread, then fetches each outdated file through it on the pool's threads.
//
//   std::unique_ptr<RemoteSource> source = MakeFolderSource(localFolder, serverFolder);
//   RemoteFileList server;
//   source->FillRemoteList(server);
//   if (const FileRecord* file = server.Find(UpperCase("Estoque.exe")))
//       source->FetchFile("Estoque.exe", *file, file->age, {});
#pragma once

#include "platform/DateTime.h"
#include "update/FileListJson.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvane {

// What became of one file that a run set out to fetch.
enum class FileOutcome {
    Updated,        // fetched and stamped with the server's age
    AlreadyCurrent, // another run fetched it while this job waited for the file
    Failed,         // the job failed; the local file is as it was before
};

// The server's files of one run, keyed by the upper case of their names relative to the
// server's root (backslashes between folders).
class RemoteFileList {
public:
    struct UnreadFolder {
        std::string folderName; // relative to the server's root
        std::string message;    // the system's message
    };

    // Adds a server file. A second file under the same key (names that differ only in case)
    // makes the key ambiguous: which one is meant cannot be told, so neither is kept.
    void Add(FileRecord file);
    void Reserve(std::size_t files);
    // The file listed under key, or nullptr when none is, or several are.
    const FileRecord* Find(const std::string& key) const;
    bool IsAmbiguous(const std::string& key) const;

    // A server subfolder whose files could not be listed: they are missing from the list.
    void AddUnreadFolder(std::string folderName, std::string message);
    const std::vector<UnreadFolder>& UnreadFolders() const { return unreadFolders_; }

private:
    std::unordered_map<std::string, FileRecord> files_;
    std::unordered_set<std::string> ambiguousKeys_;
    std::vector<UnreadFolder> unreadFolders_;
};

// Told the bytes of a file as they arrive, on the thread that fetches it.
using BytesArrivedCallback = std::function<void(std::uint64_t bytes)>;

class RemoteSource {
public:
    virtual ~RemoteSource() = default;

    // On the caller's thread: adds every file the server holds to remoteList. Raises when the
    // server cannot be listed at all.
    virtual void FillRemoteList(RemoteFileList& remoteList) = 0;

    // On a pool thread, several at once, each for its own file: brings the local file fileName
    // (relative to the local folder) up to date with the server's file remoteFile, as the
    // listing gave it, and stamps it with age. A size or hash the listing gave is checked.
    // arrived, when set, is told the bytes as they come. Raises when it fails; the local file
    // is then as it was.
    virtual FileOutcome FetchFile(const std::string& fileName, const FileRecord& remoteFile,
                                  DateTime age, const BytesArrivedCallback& arrived) = 0;
};

// The server is the folder remotePath, reachable by path (a network share as a rule).
std::unique_ptr<RemoteSource> MakeFolderSource(std::string localPath, std::string remotePath);

// The server is the HTTP file service at url. A file whose listing gives a size or a SHA-256
// fails with "Arquivo corrompido no download: NAME" when the bytes received do not match.
std::unique_ptr<RemoteSource> MakeServiceSource(std::string localPath, std::string url);

} // namespace corvane
