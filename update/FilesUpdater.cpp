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
#include <utility>
#include <vector>

namespace corvane {

namespace {

// Whether the local file at APath, of age ALocalAge, carries the server's age. The comparison
// is exact; an age that reads back otherwise once stamped (a clock time a daylight-saving
// change skips, a moment beyond the file system's range) is compared in that form, or the file
// would be fetched again on every run.
bool CarriesServersAge(const std::string& APath, TDateTime ALocalAge, TDateTime AServerAge) {
    if (ALocalAge == AServerAge)
        return true;
    return StampedAge(AServerAge, ExtractFilePath(APath)) == ALocalAge;
}

// The server's age in the form the fetched file will carry. Raises, before anything is fetched,
// when no file here can carry it: fetching would be in vain on every run.
TDateTime StampedServersAge(const std::string& APath, TDateTime AServerAge) {
    if (const std::optional<TDateTime> LStamped = StampedAge(AServerAge, ExtractFilePath(APath)))
        return *LStamped;
    const TDateTimeParts LAge = DecodeDateTime(AServerAge);
    char LText[40];
    std::snprintf(LText, sizeof LText, "%02d/%02d/%04d %02d:%02d:%02d", LAge.Day, LAge.Month,
                  LAge.Year, LAge.Hour, LAge.Minute, LAge.Second);
    throw Exception(std::string("A data do arquivo no servidor (") + LText +
                    ") não pode ser gravada neste computador. O arquivo local não "
                    "foi alterado.");
}

// The age a local record carries; nothing for a file that was missing (or unreadable).
std::optional<TDateTime> LocalAgeOf(const TFileInfoDTO& local) {
    if (local.FAge == -1.0)
        return std::nullopt;
    return local.FAge;
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
    std::vector<std::shared_ptr<IFilesUpdaterObserver>> observers)
    : observers_(std::move(observers)) {
    std::erase(observers_, nullptr);
}

void FilesUpdaterObservers::FileCompared(const FileComparison& comparison) {
    for (const auto& observer : observers_)
        observer->FileCompared(comparison);
}

void FilesUpdaterObservers::Compared(std::size_t ALocalFiles, std::size_t AQueued) {
    for (const auto& observer : observers_)
        observer->Compared(ALocalFiles, AQueued);
}

void FilesUpdaterObservers::FolderFailed(const std::string& AFolderName,
                                         const std::string& AMessage) {
    for (const auto& observer : observers_)
        observer->FolderFailed(AFolderName, AMessage);
}

void FilesUpdaterObservers::FileStarted(const std::string& fileName) {
    for (const auto& observer : observers_)
        observer->FileStarted(fileName);
}

void FilesUpdaterObservers::BytesArrived(const std::string& fileName, std::uint64_t bytes) {
    for (const auto& observer : observers_)
        observer->BytesArrived(fileName, bytes);
}

void FilesUpdaterObservers::FileDone(const std::string& AFileName, TFileOutcome AOutcome,
                                     const std::string& AMessage) {
    for (const auto& observer : observers_)
        observer->FileDone(AFileName, AOutcome, AMessage);
}

void FilesUpdaterObservers::RunEnded(const std::string& error) {
    for (const auto& observer : observers_)
        observer->RunEnded(error);
}

std::shared_ptr<IFilesUpdater>
TFilesUpdater::New(std::string ALocalPath, std::string ARemotePath, std::string AURL,
                   TThreadMethod AOnTerminate, std::shared_ptr<IFilesUpdaterObserver> AObserver) {
    return std::make_shared<TFilesUpdater>(TPrivate{}, std::move(ALocalPath),
                                           std::move(ARemotePath), std::move(AURL),
                                           std::move(AOnTerminate), std::move(AObserver));
}

TFilesUpdater::TFilesUpdater(TPrivate, std::string ALocalPath, std::string ARemotePath,
                             std::string AURL, TThreadMethod AOnTerminate,
                             std::shared_ptr<IFilesUpdaterObserver> AObserver)
    : FLocalPath(ALocalPath), FOnTerminate(std::move(AOnTerminate)),
      FObserver(std::move(AObserver)),
      // By the URL alone: a URL of blanks is not empty and selects the service.
      source_(AURL.empty() ? MakeFolderSource(std::move(ALocalPath), std::move(ARemotePath))
                           : MakeServiceSource(std::move(ALocalPath), std::move(AURL))) {}

TFilesUpdater::~TFilesUpdater() = default;

void TFilesUpdater::Execute(const std::string& AModuleName, bool AAdditionalFiles) {
    if (FExecuted)
        throw Exception("An update run can be executed only once");
    FExecuted = true;
    // The run's reference to itself: the caller may drop its own right after this call.
    std::shared_ptr<TFilesUpdater> LSelf = shared_from_this();
    try {
        FTasks = TTasksList::New();
        FillLocalList(AModuleName, AAdditionalFiles);
        source_->FillRemoteList(FRemoteList);
        for (const RemoteFileList::UnreadFolder& folder : FRemoteList.UnreadFolders())
            ReportUnreadFolder(folder.folderName, folder.message);
        QueueOutdatedFiles();
    } catch (...) {
        error_ = MessageOf(std::current_exception());
        ReleaseAfterQueuedJobs(std::move(LSelf));
        throw;
    }
    FTasks->AWait([LSelf = std::move(LSelf)]() mutable {
        // The release comes last, and also when the callback raises; it may destroy the
        // updater and its task list, so nothing here touches them after it.
        struct TRelease {
            std::shared_ptr<TFilesUpdater>& Self;
            ~TRelease() { Self.reset(); }
        } LRelease{LSelf};
        LSelf->TellRunEnded({});
        LSelf->DoTerminate();
    });
}

void TFilesUpdater::ReleaseAfterQueuedJobs(std::shared_ptr<TFilesUpdater> ASelf) noexcept {
    // Jobs queued before the error still run and use this updater: it must outlive them. The
    // completion callback is not called on this path.
    if (FTasks && FQueuedJobs > 0) {
        try {
            FTasks->AWait([LSelf = std::move(ASelf)]() mutable {
                LSelf->TellRunEnded(LSelf->error_);
                LSelf.reset();
            });
            return;
        } catch (...) {
            // No main thread to hand the release to: the caller's reference still holds the
            // updater, and dropping it shuts the pool down after its last job.
        }
    }
    TellRunEnded(error_);
}

void TFilesUpdater::TellRunEnded(const std::string& error) noexcept {
    if (!FObserver)
        return;
    try {
        FObserver->RunEnded(error);
    } catch (...) {
        // An observer only watches: the run's end stands.
    }
}

void TFilesUpdater::ReportUnreadFolder(const std::string& AFolderName,
                                       const std::string& AMessage) {
    OutputDebugString("Pasta do servidor não lida: " + AFolderName + ": " + AMessage);
    if (FObserver)
        FObserver->FolderFailed(AFolderName, AMessage);
}

void TFilesUpdater::DoTerminate() {
    if (FOnTerminate)
        FOnTerminate();
}

void TFilesUpdater::FillLocalList(const std::string& AModuleName, bool AAdditionalFiles) {
    FLocalList.clear();
    FLocalKeys.clear();
    if (!AModuleName.empty())
        AddLocalFile(AModuleName);
    if (AAdditionalFiles)
        for (const std::string_view LName : AdditionalFiles)
            AddLocalFile(std::string(LName));
}

void TFilesUpdater::AddLocalFile(const std::string& AFileName) {
    const std::string LPath = JoinPath(FLocalPath, AFileName);
    // A name already listed (the table repeats two) would give a second job for one file.
    if (!FLocalKeys.insert(UpperCase(AFileName)).second)
        return;
    // No file, or a time that cannot be read: an age before any the server lists.
    FLocalList.emplace_back(AFileName, FileAge(LPath).value_or(-1.0));
}

void TFilesUpdater::QueueOutdatedFiles() {
    for (const TFileInfoDTO& LLocal : FLocalList) {
        const std::string LKey = UpperCase(LLocal.FFileName);
        // One stray twin on the server fails this file only, not the whole run.
        if (FRemoteList.IsAmbiguous(LKey)) {
            if (FObserver)
                FObserver->FileCompared({LLocal.FFileName, LocalAgeOf(LLocal), nullptr, true});
            AddFailedTask(LLocal.FFileName, "Duplicates not allowed");
            continue;
        }
        const TFileInfoDTO* const LRemote = FRemoteList.Find(LKey);
        const std::string LPath = JoinPath(FLocalPath, LLocal.FFileName);
        const bool LExists = FileExists(LPath);
        const bool queued =
            LRemote && (!LExists || !CarriesServersAge(LPath, LLocal.FAge, LRemote->FAge));
        if (FObserver)
            FObserver->FileCompared({LLocal.FFileName, LocalAgeOf(LLocal), LRemote, queued});
        if (queued)
            AddTask(LLocal.FFileName, *LRemote);
    }
    if (FObserver)
        FObserver->Compared(FLocalList.size(), FQueuedJobs);
}

void TFilesUpdater::AddTask(const std::string& AFileName, const TFileInfoDTO& ARemote) {
    // The job refers to the updater without a count of its own: the run's reference keeps
    // the updater alive until every job has ended.
    FTasks->Run([this, LFileName = AFileName, LRemote = ARemote] { RunJob(LFileName, LRemote); });
    ++FQueuedJobs;
}

void TFilesUpdater::AddFailedTask(const std::string& AFileName, const std::string& AMessage) {
    // A job all the same, so that the file is reported and counted as any failed file is.
    FTasks->Run([this, LFileName = AFileName, LMessage = AMessage] {
        if (FObserver)
            FObserver->FileDone(LFileName, TFileOutcome::Failed, LMessage);
        throw EListError(LMessage);
    });
    ++FQueuedJobs;
}

void TFilesUpdater::RunJob(const std::string& AFileName, const TFileInfoDTO& ARemote) {
    TFileOutcome LOutcome = TFileOutcome::Failed;
    std::string LMessage;
    BytesArrivedCallback arrived;
    if (FObserver) {
        FObserver->FileStarted(AFileName);
        arrived = [this, &AFileName](std::uint64_t bytes) {
            FObserver->BytesArrived(AFileName, bytes);
        };
    }
    try {
        const TDateTime LAge = StampedServersAge(JoinPath(FLocalPath, AFileName), ARemote.FAge);
        LOutcome = source_->FetchFile(AFileName, ARemote, LAge, arrived);
    } catch (...) {
        const std::exception_ptr LError = std::current_exception();
        if (FObserver)
            FObserver->FileDone(AFileName, TFileOutcome::Failed, MessageOf(LError));
        std::rethrow_exception(LError); // the job ends failed, as any job that raises
    }
    if (FObserver)
        FObserver->FileDone(AFileName, LOutcome, LMessage);
}

} // namespace corvane
