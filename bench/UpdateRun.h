// Shared by the update benchmarks: one update run in this process, a peer command, timing.
#pragma once

#include "update/FilesUpdater.h"
#include "update/MainThread.h"
#include "update/MainThreadLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace corvane::bench {

// Counts the files each run fetched, to prove that the measured runs did what they claim.
class TCountingObserver final : public IFilesUpdaterObserver {
public:
    void FileDone(const std::string&, TFileOutcome AOutcome, const std::string& AMessage) override {
        if (AOutcome == TFileOutcome::Failed)
            std::fprintf(stderr, "failed: %s\n", AMessage.c_str());
        ++(AOutcome == TFileOutcome::Failed ? Failed : Updated);
    }
    std::atomic<int> Updated{0};
    std::atomic<int> Failed{0};
};

// One whole run, from New to the completion callback, on a loop of this thread. Returns the
// number of files fetched.
inline int RunUpdate(TMainThreadLoop& ALoop, const std::string& ALocal, const std::string& AServer,
                     const std::string& AModule) {
    auto LObserver = std::make_shared<TCountingObserver>();
    bool LDone = false;
    TFilesUpdater::New(
        ALocal, AServer, "", [&] { LDone = true; }, LObserver)
        ->Execute(AModule, true);
    if (!ALoop.RunUntil([&] { return LDone; }, std::chrono::minutes(10)))
        throw std::runtime_error("the update run did not end");
    if (LObserver->Failed != 0)
        throw std::runtime_error("an update job failed");
    return LObserver->Updated;
}

inline void RunShell(const std::string& ACommand) {
    if (std::system(ACommand.c_str()) != 0)
        throw std::runtime_error("command failed: " + ACommand);
}

inline double Seconds(const std::function<void()>& AWork) {
    const auto LStart = std::chrono::steady_clock::now();
    AWork();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - LStart).count();
}

// Processor time (user and system) of this process and of its waited-for children: steadier
// than the wall clock on a machine that others share.
inline double ProcessorSeconds() {
    double LTotal = 0;
    for (int LWho : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage LUsage{};
        ::getrusage(LWho, &LUsage);
        LTotal += static_cast<double>(LUsage.ru_utime.tv_sec + LUsage.ru_stime.tv_sec) +
                  static_cast<double>(LUsage.ru_utime.tv_usec + LUsage.ru_stime.tv_usec) / 1e6;
    }
    return LTotal;
}

// Wall-clock and processor seconds of one piece of work.
struct TTimes {
    std::vector<double> Wall;
    std::vector<double> Processor;
    void Measure(const std::function<void()>& AWork) {
        const double LStart = ProcessorSeconds();
        Wall.push_back(Seconds(AWork));
        Processor.push_back(ProcessorSeconds() - LStart);
    }
};

inline double Median(std::vector<double> AValues) {
    std::sort(AValues.begin(), AValues.end());
    const size_t n = AValues.size();
    return n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
}

inline void WriteBytes(const std::filesystem::path& APath, size_t ASize, char AFill) {
    std::filesystem::create_directories(APath.parent_path());
    std::ofstream LOut(APath, std::ios::binary | std::ios::trunc);
    std::string LBlock(1 << 20, AFill);
    for (size_t i = 0; i < LBlock.size(); i += 4096)
        LBlock[i] = static_cast<char>(i / 4096); // not all one byte: no sparse tricks
    while (ASize > 0) {
        const size_t n = std::min(ASize, LBlock.size());
        LOut.write(LBlock.data(), static_cast<std::streamsize>(n));
        ASize -= n;
    }
    if (!LOut)
        throw std::runtime_error("cannot write " + APath.string());
}

// A scratch folder for one benchmark, removed at the end.
class TScratch {
public:
    explicit TScratch(const char* AName) {
        std::string LPattern =
            (std::filesystem::temp_directory_path() / (std::string(AName) + "-XXXXXX")).string();
        if (::mkdtemp(LPattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = LPattern;
    }
    ~TScratch() {
        std::error_code LError;
        std::filesystem::remove_all(FPath, LError);
    }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

} // namespace corvane::bench
