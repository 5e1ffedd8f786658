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
class CountingObserver final : public FilesUpdaterObserver {
public:
    void FileDone(const std::string&, FileOutcome outcome, const std::string& message) override {
        if (outcome == FileOutcome::Failed)
            std::fprintf(stderr, "failed: %s\n", message.c_str());
        ++(outcome == FileOutcome::Failed ? failed : updated);
    }
    std::atomic<int> updated{0};
    std::atomic<int> failed{0};
};

// One whole run, from New to the completion callback, on a loop of this thread. Returns the
// number of files fetched.
inline int RunUpdate(MainThreadLoop& loop, const std::string& local, const std::string& server,
                     const std::string& module) {
    auto observer = std::make_shared<CountingObserver>();
    bool done = false;
    ModuleFilesUpdater::New(
        local, server, "", [&] { done = true; }, observer)
        ->Execute(module, true);
    if (!loop.RunUntil([&] { return done; }, std::chrono::minutes(10)))
        throw std::runtime_error("the update run did not end");
    if (observer->failed != 0)
        throw std::runtime_error("an update job failed");
    return observer->updated;
}

inline void RunShell(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

inline double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time (user and system) of this process and of its waited-for children: steadier
// than the wall clock on a machine that others share.
inline double ProcessorSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        ::getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

// Wall-clock and processor seconds of one piece of work.
struct Times {
    std::vector<double> wall;
    std::vector<double> processor;
    void Measure(const std::function<void()>& work) {
        const double start = ProcessorSeconds();
        wall.push_back(Seconds(work));
        processor.push_back(ProcessorSeconds() - start);
    }
};

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline void WriteBytes(const std::filesystem::path& path, size_t size, char fill) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block(1 << 20, fill);
    for (size_t i = 0; i < block.size(); i += 4096)
        block[i] = static_cast<char>(i / 4096); // not all one byte: no sparse tricks
    while (size > 0) {
        const size_t n = std::min(size, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        size -= n;
    }
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// A scratch folder for one benchmark, removed at the end.
class Scratch {
public:
    explicit Scratch(const char* name) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~Scratch() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace corvane::bench
