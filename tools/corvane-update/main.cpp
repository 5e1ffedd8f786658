// corvane-update: one update run without a window. It prints one line per file fetched
// ("updated NAME") or failed ("failed NAME: MESSAGE"), one per server subfolder that could not
// be listed ("failed FOLDER: MESSAGE") and a summary, and exits with 0 when every job
// succeeded, 1 when some job or subfolder failed and 2 when the run could not start.
#include "tools/corvane-update/UpdateCommandLine.h"
#include "update/FilesUpdater.h"
#include "update/HttpCertificates.h"
#include "update/MainThread.h"
#include "update/MainThreadLoop.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace corvane;

// Prints each file's outcome as its job ends; jobs end on several threads at once.
class TPrintingObserver final : public IFilesUpdaterObserver {
public:
    void Compared(std::size_t ALocalFiles, std::size_t AQueued) override {
        std::lock_guard LLock(FLock);
        FCompared = ALocalFiles;
        FQueued = AQueued;
    }

    void FolderFailed(const std::string& AFolderName, const std::string& AMessage) override {
        std::lock_guard LLock(FLock);
        ++FFailedFolders;
        std::printf("failed %s: %s\n", AFolderName.c_str(), AMessage.c_str());
        std::fflush(stdout);
    }

    void FileDone(const std::string& AFileName, TFileOutcome AOutcome,
                  const std::string& AMessage) override {
        std::lock_guard LLock(FLock);
        switch (AOutcome) {
        case TFileOutcome::Updated:
            ++FUpdated;
            std::printf("updated %s\n", AFileName.c_str());
            break;
        case TFileOutcome::AlreadyCurrent:
            ++FCurrent;
            break;
        case TFileOutcome::Failed:
            ++FFailed;
            std::printf("failed %s: %s\n", AFileName.c_str(), AMessage.c_str());
            break;
        }
        std::fflush(stdout);
    }

    int Summary() {
        std::lock_guard LLock(FLock);
        std::printf("%zu files compared, %zu to fetch: %zu updated, %zu failed\n", FCompared,
                    FQueued, FUpdated + FCurrent, FFailed);
        std::fflush(stdout);
        return FFailed == 0 && FFailedFolders == 0 && FUpdated + FCurrent == FQueued ? 0 : 1;
    }

private:
    std::mutex FLock;
    std::size_t FCompared = 0, FQueued = 0, FUpdated = 0, FCurrent = 0, FFailed = 0;
    std::size_t FFailedFolders = 0;
};

} // namespace

int main(int argc, char** argv) {
    TUpdateCommand LCommand;
    try {
        LCommand = ParseUpdateCommand(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "corvane-update: %s\n%s", e.what(), UpdateCommandUsage);
        return 2;
    }
    if (!LCommand.CAFile.empty())
        SetExtraCAFile(LCommand.CAFile);
    // A file size limit must fail the file being written, not end the whole run.
    std::signal(SIGXFSZ, SIG_IGN);

    auto LLoop = std::make_shared<TMainThreadLoop>();
    TMainThreadDispatcherScope LDispatcher(LLoop);
    auto LObserver = std::make_shared<TPrintingObserver>();
    bool LCompleted = false;
    std::shared_ptr<IFilesUpdater> LUpdater = TFilesUpdater::New(
        LCommand.LocalPath, LCommand.RemotePath, LCommand.URL,
        [&] {
            LCompleted = true;
            LLoop->Quit();
        },
        LObserver);
    const std::weak_ptr<IFilesUpdater> LWatch = LUpdater;
    try {
        LUpdater->Execute(LCommand.ModuleName, LCommand.AdditionalFiles);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        // Jobs queued before the error end first; then the updater lets itself go.
        LUpdater.reset();
        LLoop->RunUntil([&] { return LWatch.expired(); }, std::chrono::hours(24));
        return 2;
    }
    LUpdater.reset();
    LLoop->Run();
    return LCompleted ? LObserver->Summary() : 2;
}
