// The rotating log: the folder made when missing, one .1 file kept past the limit, and records
// of threads appending at once neither mixed nor lost.
#include "platform/LogFile.h"

#include "platform/Errors.h"
#include "tests/support/FileTree.h"

#include <gtest/gtest.h>

#include <barrier>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::vector<std::string> LinesOf(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    if (!std::filesystem::exists(path))
        return lines;
    std::istringstream text(ReadFile(path));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

TEST(LogFile, RotatesToOneOlderFileOnceTheLimitWouldBePassed) {
    TempFolder temp;
    const std::filesystem::path log = temp.Path() / "Logs" / "run.log";
    const std::filesystem::path older = temp.Path() / "Logs" / "run.log.1";
    const auto line = [](int i) { return "line " + std::to_string(i) + std::string(23, '.'); };
    // 30 bytes a line, 100 at most a file: three lines fit, the fourth starts a new file.
    for (int i = 1; i <= 7; ++i)
        AppendToLog(log.string(), line(i) + "\n", 100);
    EXPECT_EQ(LinesOf(older), (std::vector<std::string>{line(4), line(5), line(6)}));
    EXPECT_EQ(LinesOf(log), std::vector<std::string>{line(7)});
    // A record larger than the limit still goes in, alone in its file.
    AppendToLog(log.string(), std::string(150, 'x') + "\n", 100);
    EXPECT_EQ(LinesOf(older), std::vector<std::string>{line(7)});
    EXPECT_EQ(LinesOf(log), std::vector<std::string>{std::string(150, 'x')});
}

TEST(LogFile, AnUnwritableFolderRaisesTheSystemsMessage) {
    TempFolder temp;
    WriteFile(temp.Path(), "Logs", "a file where the folder should be");
    EXPECT_THROW(AppendToLog((temp.Path() / "Logs" / "run.log").string(), "x\n", 100), Exception);
}

// Threads released together by a barrier append at once, with and without rotations in
// between: every line stays whole, and without rotations every line is there exactly once.
class ConcurrentLog : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(ConcurrentLog, KeepsEveryRecordWhole) {
    TempFolder temp;
    const std::filesystem::path log = temp.Path() / "run.log";
    constexpr int kThreads = 6;
    constexpr int kLines = 200;
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kLines; ++i)
                AppendToLog(log.string(),
                            "thread " + std::to_string(t) + " line " + std::to_string(i) +
                                std::string(40, '-') + "end\n",
                            GetParam());
        });
    for (std::thread& thread : threads)
        thread.join();
    std::map<std::string, int> seen;
    for (const auto& path : {log, std::filesystem::path(log.string() + ".1")}) {
        EXPECT_LE(std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0, GetParam());
        for (const std::string& line : LinesOf(path)) {
            EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
            EXPECT_EQ(line.substr(line.size() - 43), std::string(40, '-') + "end") << line;
            ++seen[line];
        }
    }
    for (const auto& [line, count] : seen)
        EXPECT_EQ(count, 1) << line;
    if (GetParam() > 1'000'000) {
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, ConcurrentLog, ::testing::Values(1'000, 10'000'000));

} // namespace
} // namespace corvane
