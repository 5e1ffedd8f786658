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

class TRecordingObserver final : public IFilesUpdaterObserver {
public:
    struct TRecord {
        TFileOutcome Outcome;
        std::string Message;
    };

    void Compared(std::size_t ALocalFiles, std::size_t AQueued) override {
        std::lock_guard lock(FLock);
        LocalFiles = ALocalFiles;
        Queued = AQueued;
    }

    void FolderFailed(const std::string& AFolderName, const std::string& AMessage) override {
        std::lock_guard lock(FLock);
        FFailedFolders.emplace_back(AFolderName, AMessage);
    }

    void FileDone(const std::string& AFileName, TFileOutcome AOutcome,
                  const std::string& AMessage) override {
        std::lock_guard lock(FLock);
        FRecords.emplace_back(AFileName, TRecord{AOutcome, AMessage});
    }

    // Every server subfolder reported as unreadable, with its message, in order.
    std::vector<std::pair<std::string, std::string>> FailedFolders() const {
        std::lock_guard lock(FLock);
        return FFailedFolders;
    }

    // Every outcome, by file name; a name reported twice appears twice.
    std::multimap<std::string, TRecord> Records() const {
        std::lock_guard lock(FLock);
        return {FRecords.begin(), FRecords.end()};
    }

    std::vector<std::string> Names(TFileOutcome AOutcome) const {
        std::vector<std::string> names;
        for (const auto& [name, record] : Records())
            if (record.Outcome == AOutcome)
                names.push_back(name);
        return names;
    }

    std::size_t LocalFiles = 0;
    std::size_t Queued = 0;

private:
    mutable std::mutex FLock;
    std::vector<std::pair<std::string, TRecord>> FRecords;
    std::vector<std::pair<std::string, std::string>> FFailedFolders;
};

// Also checks that every run leaves no thread behind (its pool is shut down).
class FilesUpdaterTest : public corvane::testing::TMainThreadTest {
protected:
    TTempFolder FTemp;
    std::filesystem::path FServer = FTemp.Path() / "server";
    std::filesystem::path FLocal = FTemp.Path() / "local";
    std::string FServerFolder = FServer.string() + "\\";
    std::string FLocalFolder = FLocal.string() + "\\";

    void SetUp() override {
        TMainThreadTest::SetUp();
        std::filesystem::create_directories(FServer);
        std::filesystem::create_directories(FLocal);
    }

    struct TRun {
        std::shared_ptr<TRecordingObserver> Observer = std::make_shared<TRecordingObserver>();
        int Completions = 0;
        std::weak_ptr<IFilesUpdater> Updater;
    };

    // Starts a run whose caller drops its reference right after Execute, as the launcher
    // does. Execute's error, if any, leaves here.
    void Start(TRun& ARun, const std::string& AModule, bool AAdditional, const std::string& ARemote,
               const std::string& AURL = "") {
        auto updater = TFilesUpdater::New(
            FLocalFolder, ARemote, AURL, [&ARun] { ++ARun.Completions; }, ARun.Observer);
        ARun.Updater = updater;
        updater->Execute(AModule, AAdditional);
    }

    // Runs the main loop until the run's updater is gone: its completion has run, or it was
    // released after a failed Execute.
    void Finish(TRun& ARun) {
        ASSERT_TRUE(RunLoopUntil([&] { return ARun.Updater.expired(); })) << "the run did not end";
    }

    TRun Update(const std::string& AModule, bool AAdditional = false) {
        TRun run;
        Start(run, AModule, AAdditional, FServerFolder);
        Finish(run);
        return run;
    }
};

} // namespace corvane::test
