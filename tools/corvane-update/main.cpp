// corvane-update: one update run without a window. It prints one line per file fetched
// ("updated NAME") or failed ("failed NAME: MESSAGE"), one per server subfolder that could not
// be listed ("failed FOLDER: MESSAGE") and a summary, and exits with 0 when every job
// succeeded, 1 when some job or subfolder failed and 2 when the run could not start. With
// --progress it shows how far the run has got on standard error. The run is logged as the
// launcher's runs are (update/RunLog.h), unless --no-log.
#include "platform/Paths.h"
#include "platform/Process.h"
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
class PrintingObserver final : public FilesUpdaterObserver {
public:
    // beforeLine, when set, runs before each line is printed (the progress bar's clearing).
    explicit PrintingObserver(std::function<void()> beforeLine = {})
        : beforeLine_(std::move(beforeLine)) {}

    void Compared(std::size_t localFiles, std::size_t queued) override {
        std::lock_guard lock(lock_);
        compared_ = localFiles;
        queued_ = queued;
    }

    void FolderFailed(const std::string& folderName, const std::string& message) override {
        std::lock_guard lock(lock_);
        ++failedFolders_;
        BeforeLine();
        std::printf("failed %s: %s\n", folderName.c_str(), message.c_str());
        std::fflush(stdout);
    }

    void FileDone(const std::string& fileName, FileOutcome outcome,
                  const std::string& message) override {
        std::lock_guard lock(lock_);
        switch (outcome) {
        case FileOutcome::Updated:
            ++updated_;
            BeforeLine();
            std::printf("updated %s\n", fileName.c_str());
            break;
        case FileOutcome::AlreadyCurrent:
            ++current_;
            break;
        case FileOutcome::Failed:
            ++failed_;
            BeforeLine();
            std::printf("failed %s: %s\n", fileName.c_str(), message.c_str());
            break;
        }
        std::fflush(stdout);
    }

    int Summary() {
        std::lock_guard lock(lock_);
        std::printf("%zu files compared, %zu to fetch: %zu updated, %zu failed\n", compared_,
                    queued_, updated_ + current_, failed_);
        std::fflush(stdout);
        return failed_ == 0 && failedFolders_ == 0 && updated_ + current_ == queued_ ? 0 : 1;
    }

private:
    void BeforeLine() {
        if (beforeLine_)
            beforeLine_();
    }

    const std::function<void()> beforeLine_;
    std::mutex lock_;
    std::size_t compared_ = 0, queued_ = 0, updated_ = 0, current_ = 0, failed_ = 0;
    std::size_t failedFolders_ = 0;
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
    UpdateCommand command;
    try {
        command = ParseUpdateCommand(ProgramArguments(argc, argv));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "corvane-update: %s\n%s", e.what(), kUpdateCommandUsage);
        return 2;
    }
    if (!command.caFile.empty())
        SetExtraCAFile(command.caFile);
    // A file size limit must fail the file being written, not end the whole run.
    ReportFileSizeLimitAsWriteError();

    auto loop = std::make_shared<MainThreadLoop>();
    MainThreadDispatcherScope dispatcher(loop);
    UpdateProgress progress;
    std::optional<ProgressDisplay> display;
    if (command.progress)
        display.emplace(progress);
    // A file's line takes the bar off first, so that the bar is never left half covered.
    auto observer = std::make_shared<PrintingObserver>(
        display ? std::function<void()>([&display] { display->ClearBar(); })
                : std::function<void()>());
    std::vector<std::shared_ptr<FilesUpdaterObserver>> observers{observer};
    if (command.writeLog)
        observers.push_back(std::make_shared<RunLog>(
            command.logPath.empty() ? DefaultRunLogPath() : command.logPath, command.moduleName,
            command.url.empty() ? command.remotePath : command.url, LauncherVersion()));
    if (display)
        observers.push_back(progress.Observer());
    bool completed = false;
    std::shared_ptr<FilesUpdater> updater = ModuleFilesUpdater::New(
        command.localPath, command.remotePath, command.url,
        [&] {
            completed = true;
            loop->Quit();
        },
        std::make_shared<FilesUpdaterObservers>(std::move(observers)));
    const std::weak_ptr<FilesUpdater> watch = updater;
    // With the progress shown, the loop wakes ten times a second to draw it.
    const auto showProgressUntil = [&](const std::function<bool()>& done) {
        while (!loop->RunUntil(done, std::chrono::milliseconds(100)))
            display->Tick();
        display->Finish();
    };
    try {
        updater->Execute(command.moduleName, command.additionalFiles);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        // Jobs queued before the error end first; then the updater lets itself go.
        updater.reset();
        if (display)
            showProgressUntil([&] { return watch.expired(); });
        else
            loop->RunUntil([&] { return watch.expired(); }, std::chrono::hours(24));
        return 2;
    }
    updater.reset();
    if (display)
        showProgressUntil([&] { return completed; });
    else
        loop->Run();
    return completed ? observer->Summary() : 2;
}
