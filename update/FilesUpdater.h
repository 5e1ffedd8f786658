// The files updater: brings one module executable and, on request, the shared files of
// AdditionalFiles up to date from the server, a folder or the HTTP file service, and calls its
// completion callback on the main thread once every transfer has ended.
//
//   TFilesUpdater::New(localFolder, serverFolder, url, [this] { ModuleReady(); })
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
using TThreadMethod = std::function<void()>;

// One local file of a run as the comparison found it.
struct FileComparison {
    const std::string& fileName;       // as the local list writes it
    std::optional<TDateTime> localAge; // nothing: no local file
    const TFileInfoDTO* serverFile;    // nullptr: the server lists no such file
    bool queued;                       // a job will fetch it (or fail it)
};

// Learns what a run does with every file, for those who show or record it (corvane-update's
// lines, the progress under the waiting panel, the run log). Every method but FileDone does
// nothing unless overridden. Observers never raise.
class IFilesUpdaterObserver {
public:
    virtual ~IFilesUpdaterObserver() = default;

    // On the main thread, inside Execute, for every local file in the local list's order, as
    // soon as it has been compared.
    virtual void FileCompared(const FileComparison& comparison) { (void)comparison; }

    // On the main thread, inside Execute, once the comparison is done: how many local files
    // were compared and how many of them were queued to be fetched.
    virtual void Compared(std::size_t ALocalFiles, std::size_t AQueued) {
        (void)ALocalFiles;
        (void)AQueued;
    }

    // On the main thread, inside Execute: a server subfolder whose files could not be listed
    // (its name relative to the server folder, backslashes between levels) and the system's
    // message. Its files are left as they are; the rest of the run goes on.
    virtual void FolderFailed(const std::string& AFolderName, const std::string& AMessage) {
        (void)AFolderName;
        (void)AMessage;
    }

    // On the pool thread of the file's job, when it starts to bring the file up to date.
    virtual void FileStarted(const std::string& fileName) { (void)fileName; }

    // On the pool thread of the file's job: bytes of the file have arrived.
    virtual void BytesArrived(const std::string& fileName, std::uint64_t bytes) {
        (void)fileName;
        (void)bytes;
    }

    // On the pool thread that ran the file's job; several jobs may report at the same time.
    // AMessage is the error's message for a failed file, else empty.
    virtual void FileDone(const std::string& AFileName, TFileOutcome AOutcome,
                          const std::string& AMessage) = 0;

    // On the main thread, once per run: after the last job has ended and before the
    // completion callback, with an empty error; or, when Execute failed, with its error's
    // message once the jobs queued before the error have ended.
    virtual void RunEnded(const std::string& error) { (void)error; }
};

// Hands every event to each of several observers, in order.
class FilesUpdaterObservers final : public IFilesUpdaterObserver {
public:
    explicit FilesUpdaterObservers(std::vector<std::shared_ptr<IFilesUpdaterObserver>> observers);

    void FileCompared(const FileComparison& comparison) override;
    void Compared(std::size_t ALocalFiles, std::size_t AQueued) override;
    void FolderFailed(const std::string& AFolderName, const std::string& AMessage) override;
    void FileStarted(const std::string& fileName) override;
    void BytesArrived(const std::string& fileName, std::uint64_t bytes) override;
    void FileDone(const std::string& AFileName, TFileOutcome AOutcome,
                  const std::string& AMessage) override;
    void RunEnded(const std::string& error) override;

private:
    std::vector<std::shared_ptr<IFilesUpdaterObserver>> observers_;
};

// A reference-counted updater; one serves one update run.
class IFilesUpdater {
public:
    virtual ~IFilesUpdater() = default;

    // Runs the update on the caller's thread (the main thread) and returns once every job has
    // been queued. The completion callback then runs once on the main thread after the last
    // job has ended. When building the lists fails, the error is raised here and the callback
    // is never called. An updater runs once; a second call raises Exception.
    virtual void Execute(const std::string& AModuleName, bool AAdditionalFiles) = 0;
};

class TFilesUpdater final : public IFilesUpdater,
                            public std::enable_shared_from_this<TFilesUpdater> {
    struct TPrivate {};

public:
    // How users obtain an updater. An empty AURL selects the server folder ARemotePath as its
    // source; any other URL, blanks included, the file service.
    static std::shared_ptr<IFilesUpdater>
    New(std::string ALocalPath, std::string ARemotePath, std::string AURL,
        TThreadMethod AOnTerminate, std::shared_ptr<IFilesUpdaterObserver> AObserver = nullptr);

    // Create: stores the arguments and chooses the source by AURL alone.
    TFilesUpdater(TPrivate, std::string ALocalPath, std::string ARemotePath, std::string AURL,
                  TThreadMethod AOnTerminate, std::shared_ptr<IFilesUpdaterObserver> AObserver);
    // Destroy: releases the task list first, shutting its pool down, then the rest.
    ~TFilesUpdater() override;
    TFilesUpdater(const TFilesUpdater&) = delete;
    TFilesUpdater& operator=(const TFilesUpdater&) = delete;

    void Execute(const std::string& AModuleName, bool AAdditionalFiles) override;

private:
    void DoTerminate();
    void FillLocalList(const std::string& AModuleName, bool AAdditionalFiles);
    void AddLocalFile(const std::string& AFileName);
    void QueueOutdatedFiles();
    // Queues the job that fetches AFileName from the server's file ARemote (the same name
    // after upper-casing; the folder copy reads that one, since file systems here are
    // case-sensitive), stamped with the server's age.
    void AddTask(const std::string& AFileName, const TFileInfoDTO& ARemote);
    // Queues a job that fails AFileName with AMessage without touching it.
    void AddFailedTask(const std::string& AFileName, const std::string& AMessage);
    // The body of every job: the source's fetch, its outcome told to the observer.
    void RunJob(const std::string& AFileName, const TFileInfoDTO& ARemote);
    // Tells the observer, if any, that the run has ended.
    void TellRunEnded(const std::string& error) noexcept;
    // A server subfolder that could not be listed: the trace line, and the observer told.
    void ReportUnreadFolder(const std::string& AFolderName, const std::string& AMessage);
    // After a failed Execute: releases ASelf now, or once the jobs already queued have ended.
    void ReleaseAfterQueuedJobs(std::shared_ptr<TFilesUpdater> ASelf) noexcept;

    const std::string FLocalPath;
    // The local files of the run, in the order they were added.
    std::vector<TFileInfoDTO> FLocalList;
    // The upper-cased names already in FLocalList: each file gets one job.
    std::unordered_set<std::string> FLocalKeys;
    // The server's files.
    RemoteFileList FRemoteList;
    const TThreadMethod FOnTerminate;
    const std::shared_ptr<IFilesUpdaterObserver> FObserver;
    // Chosen once; the jobs fetch through it on the pool's threads.
    const std::unique_ptr<RemoteSource> source_;
    // Destroyed before the members above: the jobs of a failed run, still running, use them.
    std::shared_ptr<ITasks> FTasks;
    std::size_t FQueuedJobs = 0;
    bool FExecuted = false;
    // The message of the error that ended Execute, for the observer's RunEnded.
    std::string error_;
};

} // namespace corvane
