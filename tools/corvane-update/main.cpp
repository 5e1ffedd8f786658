// corvane-update: one update run without a window. It prints one line per file fetched
// ("updated NAME") or failed ("failed NAME: MESSAGE"), one per server subfolder that could not
// be listed ("failed FOLDER: MESSAGE") and a summary, and exits with 0 when every job
// succeeded, 1 when some job or subfolder failed and 2 when the run could not start. With
// --progress it shows how far the run has got on standard error. The run is logged as the
// launcher's runs are (update/RunLog.h), unless --no-log.
#include "platform/Paths.h"
#include "platform/Trace.h"
#include "tools/corvane-update/UpdateCommandLine.h"
#include "update/FilesUpdater.h"
#include "update/HttpCertificates.h"
#include "update/LauncherVersion.h"
#include "update/MainThread.h"
#include "update/MainThreadLoop.h"
#include "update/RunLog.h"
#include "update/UpdateProgress.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace corvane;

// Shows the progress on standard error: on a terminal a bar redrawn in place up to ten times
// a second, elsewhere (a file, a pipe) a line each second while the figures change.
class ProgressDisplay {
public:
    explicit ProgressDisplay(const UpdateProgress& progress)
        : progress_(progress), terminal_(StandardErrorIsTerminal()) {}

    // Called on the main thread about ten times a second while the run goes on.
    void Tick() {
        std::lock_guard guard(lock_);
        const auto now = std::chrono::steady_clock::now();
        if (!terminal_ && now - lastLine_ < std::chrono::seconds(1))
            return;
        if (Show())
            lastLine_ = now;
    }

    // Takes the bar off its line, so that a line written next starts on a clean one; the next
    // tick draws it again. Any thread.
    void ClearBar() {
        std::lock_guard guard(lock_);
        if (terminal_ && drawn_ > 0) {
            WriteStandardError("\r\x1b[K");
            shown_.clear();
            drawn_ = 0;
        }
    }

    // The final figures, and the bar's line closed.
    void Finish() {
        std::lock_guard guard(lock_);
        Show();
        if (terminal_ && drawn_ > 0)
            WriteStandardError("\n");
    }

private:
    // Shows the figures when they have changed; true when something was shown.
    bool Show() {
        const ProgressFigures figures = progress_.Read();
        const std::string text = ProgressText(figures);
        if (text.empty() || text == shown_)
            return false;
        shown_ = text;
        if (!terminal_) {
            WriteStandardError(text + "\n");
            return true;
        }
        constexpr int kWidth = 24;
        const int filled = static_cast<int>(ProgressShare(figures) * kWidth);
        std::string line =
            "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '-') + "] " + text;
        // Characters, not bytes, wipe what a longer line before left. The cursor goes back to
        // the line's start, so that a line written meanwhile covers the bar (the download
        // trace is longer than it; the files' outcomes take it off first) and the next bar is
        // drawn below it.
        const std::size_t width = CharacterCount(line);
        if (width < drawn_)
            line.append(drawn_ - width, ' ');
        drawn_ = std::max(drawn_, width);
        WriteStandardError(line + '\r');
        return true;
    }

    static std::size_t CharacterCount(const std::string& text) {
        std::size_t count = 0;
        for (const char c : text)
            count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        return count;
    }

    std::mutex lock_;
    const UpdateProgress& progress_;
    const bool terminal_;
    std::string shown_;
    std::size_t drawn_ = 0;
    std::chrono::steady_clock::time_point lastLine_{};
};

// Prints each file's outcome as its job ends; jobs end on several threads at once.
class TPrintingObserver final : public IFilesUpdaterObserver {
public:
    // beforeLine, when set, runs before each line is printed (the progress bar's clearing).
    explicit TPrintingObserver(std::function<void()> beforeLine = {})
        : beforeLine_(std::move(beforeLine)) {}

    void Compared(std::size_t ALocalFiles, std::size_t AQueued) override {
        std::lock_guard LLock(FLock);
        FCompared = ALocalFiles;
        FQueued = AQueued;
    }

    void FolderFailed(const std::string& AFolderName, const std::string& AMessage) override {
        std::lock_guard LLock(FLock);
        ++FFailedFolders;
        BeforeLine();
        std::printf("failed %s: %s\n", AFolderName.c_str(), AMessage.c_str());
        std::fflush(stdout);
    }

    void FileDone(const std::string& AFileName, TFileOutcome AOutcome,
                  const std::string& AMessage) override {
        std::lock_guard LLock(FLock);
        switch (AOutcome) {
        case TFileOutcome::Updated:
            ++FUpdated;
            BeforeLine();
            std::printf("updated %s\n", AFileName.c_str());
            break;
        case TFileOutcome::AlreadyCurrent:
            ++FCurrent;
            break;
        case TFileOutcome::Failed:
            ++FFailed;
            BeforeLine();
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
    void BeforeLine() {
        if (beforeLine_)
            beforeLine_();
    }

    const std::function<void()> beforeLine_;
    std::mutex FLock;
    std::size_t FCompared = 0, FQueued = 0, FUpdated = 0, FCurrent = 0, FFailed = 0;
    std::size_t FFailedFolders = 0;
};

std::string LauncherVersion() {
    try {
        return FileVersionOf(ExecutablePath());
    } catch (const std::exception&) {
        return {};
    }
}

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
    UpdateProgress progress;
    std::optional<ProgressDisplay> display;
    if (LCommand.progress)
        display.emplace(progress);
    // A file's line takes the bar off first, so that the bar is never left half covered.
    auto LObserver = std::make_shared<TPrintingObserver>(
        display ? std::function<void()>([&display] { display->ClearBar(); })
                : std::function<void()>());
    std::vector<std::shared_ptr<IFilesUpdaterObserver>> observers{LObserver};
    if (LCommand.writeLog)
        observers.push_back(std::make_shared<RunLog>(
            LCommand.logPath.empty() ? DefaultRunLogPath() : LCommand.logPath, LCommand.ModuleName,
            LCommand.URL.empty() ? LCommand.RemotePath : LCommand.URL, LauncherVersion()));
    if (display)
        observers.push_back(progress.Observer());
    bool LCompleted = false;
    std::shared_ptr<IFilesUpdater> LUpdater = TFilesUpdater::New(
        LCommand.LocalPath, LCommand.RemotePath, LCommand.URL,
        [&] {
            LCompleted = true;
            LLoop->Quit();
        },
        std::make_shared<FilesUpdaterObservers>(std::move(observers)));
    const std::weak_ptr<IFilesUpdater> LWatch = LUpdater;
    // With the progress shown, the loop wakes ten times a second to draw it.
    const auto showProgressUntil = [&](const std::function<bool()>& done) {
        while (!LLoop->RunUntil(done, std::chrono::milliseconds(100)))
            display->Tick();
        display->Finish();
    };
    try {
        LUpdater->Execute(LCommand.ModuleName, LCommand.AdditionalFiles);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        // Jobs queued before the error end first; then the updater lets itself go.
        LUpdater.reset();
        if (display)
            showProgressUntil([&] { return LWatch.expired(); });
        else
            LLoop->RunUntil([&] { return LWatch.expired(); }, std::chrono::hours(24));
        return 2;
    }
    LUpdater.reset();
    if (display)
        showProgressUntil([&] { return LCompleted; });
    else
        LLoop->Run();
    return LCompleted ? LObserver->Summary() : 2;
}
