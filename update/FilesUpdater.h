// The files updater: brings one module executable and, on request, the shared files of
// kAdditionalFiles up to date from the server, a folder or the HTTP file service, and calls its
// completion callback on the main thread once every transfer has ended.
//
//   ModuleFilesUpdater::New(localFolder, serverFolder, url, [this] { ModuleReady(); })
//       ->Execute("Estoque.exe", true);
//
// The caller may drop its reference right after Execute: the updater keeps itself alive until
// its completion callback has run.
#pragma once

#include "platform/DateTime.h"
#include "update/FileListJson.h"
#include "update/RemoteSource.h"
#include "update/TaskList.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace corvane {

// The completion callback: a method of some object, without arguments.
using ThreadMethod = std::function<void()>;

// One local file of a run as the comparison found it.
struct FileComparison {
    const std::string& fileName;      // as the local list writes it
    std::optional<DateTime> localAge; // nothing: no local file
    const FileRecord* serverFile;     // nullptr: the server lists no such file
    bool queued;                      // a job will fetch it (or fail it)
};

// Learns what a run does with every file, for those who show or record it (corvane-update's
// lines, the progress under the waiting panel, the run log). Every method but FileDone does
// nothing unless overridden. Observers never raise.
class FilesUpdaterObserver {
public:
    virtual ~FilesUpdaterObserver() = default;

    // On the main thread, inside Execute, for every local file in the local list's order, as
    // soon as it has been compared.
    virtual void FileCompared(const FileComparison& comparison) { (void)comparison; }

    // On the main thread, inside Execute, once the comparison is done: how many local files
    // were compared and how many of them were queued to be fetched.
    virtual void Compared(std::size_t localFiles, std::size_t queued) {
        (void)localFiles;
        (void)queued;
    }

    // On the main thread, inside Execute: a server subfolder whose files could not be listed
    // (its name relative to the server folder, backslashes between levels) and the system's
    // message. Its files are left as they are; the rest of the run goes on.
    virtual void FolderFailed(const std::string& folderName, const std::string& message) {
        (void)folderName;
        (void)message;
    }

    // On the pool thread of the file's job, when it starts to bring the file up to date.
    virtual void FileStarted(const std::string& fileName) { (void)fileName; }

    // On the pool thread of the file's job: bytes of the file have arrived.
    virtual void BytesArrived(const std::string& fileName, std::uint64_t bytes) {
        (void)fileName;
        (void)bytes;
    }

    // On the pool thread that ran the file's job; several jobs may report at the same time.
    // message is the error's message for a failed file, else empty.
    virtual void FileDone(const std::string& fileName, FileOutcome outcome,
                          const std::string& message) = 0;

    // On the main thread, once per run: after the last job has ended and before the
    // completion callback, with an empty error; or, when Execute failed, with its error's
    // message once the jobs queued before the error have ended.
    virtual void RunEnded(const std::string& error) { (void)error; }
};

// Hands every event to each of several observers, in order.
class FilesUpdaterObservers final : public FilesUpdaterObserver {
public:
    explicit FilesUpdaterObservers(std::vector<std::shared_ptr<FilesUpdaterObserver>> observers);

    void FileCompared(const FileComparison& comparison) override;
    void Compared(std::size_t localFiles, std::size_t queued) override;
    void FolderFailed(const std::string& folderName, const std::string& message) override;
    void FileStarted(const std::string& fileName) override;
    void BytesArrived(const std::string& fileName, std::uint64_t bytes) override;
    void FileDone(const std::string& fileName, FileOutcome outcome,
                  const std::string& message) override;
    void RunEnded(const std::string& error) override;

private:
    std::vector<std::shared_ptr<FilesUpdaterObserver>> observers_;
};

// A reference-counted updater; one serves one update run.
class FilesUpdater {
public:
    virtual ~FilesUpdater() = default;

    // Runs the update on the caller's thread (the main thread) and returns once every job has
    // been queued. The completion callback then runs once on the main thread after the last
    // job has ended. When building the lists fails, the error is raised here and the callback
    // is never called. An updater runs once; a second call raises Exception.
    virtual void Execute(const std::string& moduleName, bool additionalFiles) = 0;
};

class ModuleFilesUpdater final : public FilesUpdater,
                                 public std::enable_shared_from_this<ModuleFilesUpdater> {
    struct Private {};

public:
    // How users obtain an updater. An empty url selects the server folder remotePath as its
    // source; any other URL, blanks included, the file service.
    static std::shared_ptr<FilesUpdater>
    New(std::string localPath, std::string remotePath, std::string url, ThreadMethod onTerminate,
        std::shared_ptr<FilesUpdaterObserver> observer = nullptr);

    // Create: stores the arguments and chooses the source by url alone.
    ModuleFilesUpdater(Private, std::string localPath, std::string remotePath, std::string url,
                       ThreadMethod onTerminate, std::shared_ptr<FilesUpdaterObserver> observer);
    // Destroy: releases the task list first, shutting its pool down, then the rest.
    ~ModuleFilesUpdater() override;
    ModuleFilesUpdater(const ModuleFilesUpdater&) = delete;
    ModuleFilesUpdater& operator=(const ModuleFilesUpdater&) = delete;

    void Execute(const std::string& moduleName, bool additionalFiles) override;

private:
    void DoTerminate();
    void FillLocalList(const std::string& moduleName, bool additionalFiles);
    void AddLocalFile(const std::string& fileName);
    // Removes what writers of interrupted runs (a killed process, a power cut) left in the
    // folders of the local list, before this run writes there; files that live writers, of
    // this or another process, still hold stay.
    void RemoveAbandonedFiles() const;
    void QueueOutdatedFiles();
    // Queues the job that fetches fileName from the server's file remote (the same name
    // after upper-casing; the folder copy reads that one, since file systems here are
    // case-sensitive), stamped with the server's age.
    void AddTask(const std::string& fileName, const FileRecord& remote);
    // Queues a job that fails fileName with message without touching it.
    void AddFailedTask(const std::string& fileName, const std::string& message);
    // The body of every job: the source's fetch, its outcome told to the observer.
    void RunJob(const std::string& fileName, const FileRecord& remote);
    // Tells the observer, if any, that the run has ended.
    void TellRunEnded(const std::string& error) noexcept;
    // A server subfolder that could not be listed: the trace line, and the observer told.
    void ReportUnreadFolder(const std::string& folderName, const std::string& message);
    // After a failed Execute: releases self now, or once the jobs already queued have ended.
    void ReleaseAfterQueuedJobs(std::shared_ptr<ModuleFilesUpdater> self) noexcept;

    const std::string localPath_;
    // The local files of the run, in the order they were added.
    std::vector<FileRecord> localList_;
    // The upper-cased names already in localList_: each file gets one job.
    std::unordered_set<std::string> localKeys_;
    // The server's files.
    RemoteFileList remoteList_;
    const ThreadMethod onTerminate_;
    const std::shared_ptr<FilesUpdaterObserver> observer_;
    // Chosen once; the jobs fetch through it on the pool's threads.
    const std::unique_ptr<RemoteSource> source_;
    // Destroyed before the members above: the jobs of a failed run, still running, use them.
    std::shared_ptr<ParallelTasks> tasks_;
    std::size_t queuedJobs_ = 0;
    bool executed_ = false;
    // The message of the error that ended Execute, for the observer's RunEnded.
    std::string error_;
};

} // namespace corvane
