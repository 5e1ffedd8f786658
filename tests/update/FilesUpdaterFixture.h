// A server folder, a local folder, a main-thread loop and an observer that records every
// file's outcome, for the tests of the files updater.
#pragma once

#include "tests/support/FileTree.h"
#include "tests/support/MainThreadFixture.h"
#include "update/FilesUpdater.h"

#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvane::test {

class RecordingObserver final : public FilesUpdaterObserver {
public:
    struct Record {
        FileOutcome outcome;
        std::string message;
    };

    void Compared(std::size_t newLocalFiles, std::size_t newQueued) override {
        std::lock_guard lock(lock_);
        localFiles = newLocalFiles;
        queued = newQueued;
    }

    void FolderFailed(const std::string& folderName, const std::string& message) override {
        std::lock_guard lock(lock_);
        failedFolders_.emplace_back(folderName, message);
    }

    void FileDone(const std::string& fileName, FileOutcome outcome,
                  const std::string& message) override {
        std::lock_guard lock(lock_);
        records_.emplace_back(fileName, Record{outcome, message});
    }

    // Every server subfolder reported as unreadable, with its message, in order.
    std::vector<std::pair<std::string, std::string>> FailedFolders() const {
        std::lock_guard lock(lock_);
        return failedFolders_;
    }

    // Every outcome, by file name; a name reported twice appears twice.
    std::multimap<std::string, Record> Records() const {
        std::lock_guard lock(lock_);
        return {records_.begin(), records_.end()};
    }

    std::vector<std::string> Names(FileOutcome outcome) const {
        std::vector<std::string> names;
        for (const auto& [name, record] : Records())
            if (record.outcome == outcome)
                names.push_back(name);
        return names;
    }

    std::size_t localFiles = 0;
    std::size_t queued = 0;

private:
    mutable std::mutex lock_;
    std::vector<std::pair<std::string, Record>> records_;
    std::vector<std::pair<std::string, std::string>> failedFolders_;
};

// Also checks that every run leaves no thread behind (its pool is shut down).
class FilesUpdaterTest : public corvane::testing::MainThreadFixture {
protected:
    TempFolder temp_;
    std::filesystem::path server_ = temp_.Path() / "server";
    std::filesystem::path local_ = temp_.Path() / "local";
    std::string serverFolder_ = server_.string() + "\\";
    std::string localFolder_ = local_.string() + "\\";

    void SetUp() override {
        MainThreadFixture::SetUp();
        std::filesystem::create_directories(server_);
        std::filesystem::create_directories(local_);
    }

    struct Run {
        std::shared_ptr<RecordingObserver> observer = std::make_shared<RecordingObserver>();
        int completions = 0;
        std::weak_ptr<FilesUpdater> updater;
    };

    // Starts a run whose caller drops its reference right after Execute, as the launcher
    // does. Execute's error, if any, leaves here.
    void Start(Run& run, const std::string& module, bool additional, const std::string& remote,
               const std::string& url = "") {
        auto updater = ModuleFilesUpdater::New(
            localFolder_, remote, url, [&run] { ++run.completions; }, run.observer);
        run.updater = updater;
        updater->Execute(module, additional);
    }

    // Runs the main loop until the run's updater is gone: its completion has run, or it was
    // released after a failed Execute.
    void Finish(Run& run) {
        ASSERT_TRUE(RunLoopUntil([&] { return run.updater.expired(); })) << "the run did not end";
    }

    Run Update(const std::string& module, bool additional = false) {
        Run run;
        Start(run, module, additional, serverFolder_);
        Finish(run);
        return run;
    }
};

} // namespace corvane::test
