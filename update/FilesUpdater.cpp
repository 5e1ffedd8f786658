#include "update/FilesUpdater.h"

#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/Trace.h"
#include "update/AdditionalFiles.h"
#include "update/Errors.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace corvane {

namespace {

// Whether the local file at path, of age localAge, carries the server's age. The comparison
// is exact; an age that reads back otherwise once stamped (a clock time a daylight-saving
// change skips, a moment beyond the file system's range) is compared in that form, or the file
// would be fetched again on every run.
bool CarriesServersAge(const std::string& path, DateTime localAge, DateTime serverAge) {
    if (localAge == serverAge)
        return true;
    return StampedAge(serverAge, ExtractFilePath(path)) == localAge;
}

// The server's age in the form the fetched file will carry. Raises, before anything is fetched,
// when no file here can carry it: fetching would be in vain on every run.
DateTime StampedServersAge(const std::string& path, DateTime serverAge) {
    if (const std::optional<DateTime> stamped = StampedAge(serverAge, ExtractFilePath(path)))
        return *stamped;
    const DateTimeParts age = DecodeDateTime(serverAge);
    char text[40];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", age.day, age.month, age.year,
                  age.hour, age.minute, age.second);
    throw Exception(std::string("A data do arquivo no servidor (") + text +
                    ") não pode ser gravada neste computador. O arquivo local não "
                    "foi alterado.");
}

// The age a local record carries; nothing for a file that was missing (or unreadable).
std::optional<DateTime> LocalAgeOf(const FileRecord& local) {
    if (local.age == -1.0)
        return std::nullopt;
    return local.age;
}

std::string MessageOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

} // namespace

FilesUpdaterObservers::FilesUpdaterObservers(
    std::vector<std::shared_ptr<FilesUpdaterObserver>> observers)
    : observers_(std::move(observers)) {
    std::erase(observers_, nullptr);
}

void FilesUpdaterObservers::FileCompared(const FileComparison& comparison) {
    for (const auto& observer : observers_)
        observer->FileCompared(comparison);
}

void FilesUpdaterObservers::Compared(std::size_t localFiles, std::size_t queued) {
    for (const auto& observer : observers_)
        observer->Compared(localFiles, queued);
}

void FilesUpdaterObservers::FolderFailed(const std::string& folderName,
                                         const std::string& message) {
    for (const auto& observer : observers_)
        observer->FolderFailed(folderName, message);
}

void FilesUpdaterObservers::FileStarted(const std::string& fileName) {
    for (const auto& observer : observers_)
        observer->FileStarted(fileName);
}

void FilesUpdaterObservers::BytesArrived(const std::string& fileName, std::uint64_t bytes) {
    for (const auto& observer : observers_)
        observer->BytesArrived(fileName, bytes);
}

void FilesUpdaterObservers::FileDone(const std::string& fileName, FileOutcome outcome,
                                     const std::string& message) {
    for (const auto& observer : observers_)
        observer->FileDone(fileName, outcome, message);
}

void FilesUpdaterObservers::RunEnded(const std::string& error) {
    for (const auto& observer : observers_)
        observer->RunEnded(error);
}

std::shared_ptr<FilesUpdater>
ModuleFilesUpdater::New(std::string localPath, std::string remotePath, std::string url,
                        ThreadMethod onTerminate, std::shared_ptr<FilesUpdaterObserver> observer) {
    return std::make_shared<ModuleFilesUpdater>(Private{}, std::move(localPath),
                                                std::move(remotePath), std::move(url),
                                                std::move(onTerminate), std::move(observer));
}

ModuleFilesUpdater::ModuleFilesUpdater(Private, std::string localPath, std::string remotePath,
                                       std::string url, ThreadMethod onTerminate,
                                       std::shared_ptr<FilesUpdaterObserver> observer)
    : localPath_(localPath), onTerminate_(std::move(onTerminate)), observer_(std::move(observer)),
      // By the URL alone: a URL of blanks is not empty and selects the service.
      source_(url.empty() ? MakeFolderSource(std::move(localPath), std::move(remotePath))
                          : MakeServiceSource(std::move(localPath), std::move(url))) {}

ModuleFilesUpdater::~ModuleFilesUpdater() = default;

void ModuleFilesUpdater::Execute(const std::string& moduleName, bool additionalFiles) {
    if (executed_)
        throw Exception("An update run can be executed only once");
    executed_ = true;
    // The run's reference to itself: the caller may drop its own right after this call.
    std::shared_ptr<ModuleFilesUpdater> self = shared_from_this();
    try {
        tasks_ = TaskList::New();
        FillLocalList(moduleName, additionalFiles);
        RemoveAbandonedFiles();
        source_->FillRemoteList(remoteList_);
        for (const RemoteFileList::UnreadFolder& folder : remoteList_.UnreadFolders())
            ReportUnreadFolder(folder.folderName, folder.message);
        QueueOutdatedFiles();
    } catch (...) {
        error_ = MessageOf(std::current_exception());
        ReleaseAfterQueuedJobs(std::move(self));
        throw;
    }
    tasks_->WhenDone([self = std::move(self)]() mutable {
        // The release comes last, and also when the callback raises; it may destroy the
        // updater and its task list, so nothing here touches them after it.
        struct Release {
            std::shared_ptr<ModuleFilesUpdater>& self;
            ~Release() { self.reset(); }
        } release{self};
        self->TellRunEnded({});
        self->DoTerminate();
    });
}

void ModuleFilesUpdater::ReleaseAfterQueuedJobs(std::shared_ptr<ModuleFilesUpdater> self) noexcept {
    // Jobs queued before the error still run and use this updater: it must outlive them. The
    // completion callback is not called on this path.
    if (tasks_ && queuedJobs_ > 0) {
        try {
            tasks_->WhenDone([self = std::move(self)]() mutable {
                self->TellRunEnded(self->error_);
                self.reset();
            });
            return;
        } catch (...) {
            // No main thread to hand the release to: the caller's reference still holds the
            // updater, and dropping it shuts the pool down after its last job.
        }
    }
    TellRunEnded(error_);
}

void ModuleFilesUpdater::TellRunEnded(const std::string& error) noexcept {
    if (!observer_)
        return;
    try {
        observer_->RunEnded(error);
    } catch (...) {
        // An observer only watches: the run's end stands.
    }
}

void ModuleFilesUpdater::ReportUnreadFolder(const std::string& folderName,
                                            const std::string& message) {
    WriteTraceLine("Pasta do servidor não lida: " + folderName + ": " + message);
    if (observer_)
        observer_->FolderFailed(folderName, message);
}

void ModuleFilesUpdater::DoTerminate() {
    if (onTerminate_)
        onTerminate_();
}

void ModuleFilesUpdater::FillLocalList(const std::string& moduleName, bool additionalFiles) {
    localList_.clear();
    localKeys_.clear();
    if (!moduleName.empty())
        AddLocalFile(moduleName);
    if (additionalFiles)
        for (const std::string_view name : kAdditionalFiles)
            AddLocalFile(std::string(name));
}

void ModuleFilesUpdater::AddLocalFile(const std::string& fileName) {
    const std::string path = JoinPath(localPath_, fileName);
    // A name already listed (the table repeats two) would give a second job for one file.
    if (!localKeys_.insert(UpperCase(fileName)).second)
        return;
    // No file, or a time that cannot be read: an age before any the server lists.
    localList_.emplace_back(fileName, FileAge(path).value_or(-1.0));
}

void ModuleFilesUpdater::RemoveAbandonedFiles() const {
    // Only the folders this run writes to: the installation may hold far more than the run's
    // files, and a folder no run writes to gets no temporary file.
    std::set<std::string> folders{localPath_};
    for (const FileRecord& local : localList_)
        folders.insert(ExtractFilePath(JoinPath(localPath_, local.fileName)));
    for (const std::string& folder : folders)
        RemoveAbandonedReplacementFiles(folder);
}

void ModuleFilesUpdater::QueueOutdatedFiles() {
    for (const FileRecord& local : localList_) {
        const std::string key = UpperCase(local.fileName);
        // One stray twin on the server fails this file only, not the whole run.
        if (remoteList_.IsAmbiguous(key)) {
            if (observer_)
                observer_->FileCompared({local.fileName, LocalAgeOf(local), nullptr, true});
            AddFailedTask(local.fileName, "Duplicates not allowed");
            continue;
        }
        const FileRecord* const remote = remoteList_.Find(key);
        const std::string path = JoinPath(localPath_, local.fileName);
        const bool exists = FileExists(path);
        const bool queued = remote && (!exists || !CarriesServersAge(path, local.age, remote->age));
        if (observer_)
            observer_->FileCompared({local.fileName, LocalAgeOf(local), remote, queued});
        if (queued)
            AddTask(local.fileName, *remote);
    }
    if (observer_)
        observer_->Compared(localList_.size(), queuedJobs_);
}

void ModuleFilesUpdater::AddTask(const std::string& fileName, const FileRecord& remote) {
    // The job refers to the updater without a count of its own: the run's reference keeps
    // the updater alive until every job has ended.
    tasks_->Run([this, fileName = fileName, remote = remote] { RunJob(fileName, remote); });
    ++queuedJobs_;
}

void ModuleFilesUpdater::AddFailedTask(const std::string& fileName, const std::string& message) {
    // A job all the same, so that the file is reported and counted as any failed file is.
    tasks_->Run([this, fileName = fileName, message = message] {
        if (observer_)
            observer_->FileDone(fileName, FileOutcome::Failed, message);
        throw ListError(message);
    });
    ++queuedJobs_;
}

void ModuleFilesUpdater::RunJob(const std::string& fileName, const FileRecord& remote) {
    FileOutcome outcome = FileOutcome::Failed;
    std::string message;
    BytesArrivedCallback arrived;
    if (observer_) {
        observer_->FileStarted(fileName);
        arrived = [this, &fileName](std::uint64_t bytes) {
            observer_->BytesArrived(fileName, bytes);
        };
    }
    try {
        const DateTime stampedAge = StampedServersAge(JoinPath(localPath_, fileName), remote.age);
        outcome = source_->FetchFile(fileName, remote, stampedAge, arrived);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (observer_)
            observer_->FileDone(fileName, FileOutcome::Failed, MessageOf(error));
        std::rethrow_exception(error); // the job ends failed, as any job that raises
    }
    if (observer_)
        observer_->FileDone(fileName, outcome, message);
}

} // namespace corvane
