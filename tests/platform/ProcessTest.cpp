#include "platform/Process.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "tests/support/FileTree.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvane {
namespace {

namespace fs = std::filesystem;

TEST(Process, StartsTheProgramDetached) {
    const test::TempFolder temp;
    const auto fifo = temp.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opened before the start, without blocking, so a program that never runs makes the
    // poll below time out instead of hanging the test.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const auto script = temp.Path() / "programa";
    std::ofstream(script) << "#!/bin/sh\ncut -d' ' -f6 /proc/$$/stat > '" << fifo.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);

    ASSERT_NO_THROW(StartDetachedProcess(script.string(), StartupInfo{}));
    pollfd ready{reader, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 30000), 1);
    char buffer[64] = {};
    const auto count = ::read(reader, buffer, sizeof buffer - 1);
    ::close(reader);
    ASSERT_GT(count, 0);
    // Its own session, not this process's.
    EXPECT_NE(std::stol(buffer), static_cast<long>(::getsid(0)));
}

// A start that cannot run the program raises the system's message for the reason, as the
// intermediate process's spawn saw it.
struct FailedStartCase {
    const char* name;
    const char* content; // nullptr: nothing at the path; "": a folder
    fs::perms permissions;
    const char* message;
};

class FailedStart : public ::testing::TestWithParam<FailedStartCase> {};

TEST_P(FailedStart, RaisesTheSystemsMessage) {
    const FailedStartCase& c = GetParam();
    const test::TempFolder temp;
    const auto program = temp.Path() / "Morvik.exe";
    if (c.content && *c.content == '\0') {
        fs::create_directory(program);
    } else if (c.content) {
        std::ofstream(program) << c.content;
        fs::permissions(program, c.permissions);
    }
    EXPECT_THAT([&] { StartDetachedProcess(program.string(), StartupInfo{}); },
                ::testing::ThrowsMessage<SystemError>(::testing::StrEq(c.message)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedStart,
    ::testing::Values(
        FailedStartCase{"Missing", nullptr, fs::perms::none, "No such file or directory"},
        // A program a share presented without the execute bit.
        FailedStartCase{"NotExecutable", "#!/bin/sh\nexit 0\n", fs::perms(0644),
                        "Permission denied"},
        // Text with the execute bit: not a program the system can load.
        FailedStartCase{"NotAProgram", "Aplicação\n", fs::perms(0755), "Exec format error"},
        FailedStartCase{"AFolder", "", fs::perms::none, "Permission denied"}),
    [](const auto& c) { return std::string(c.param.name); });

struct ArgumentsCase {
    std::vector<const char*> argv; // without the closing null
    std::vector<std::string> expected;
};

class ProgramArgumentsRules : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(ProgramArgumentsRules, AreTheArgumentsAfterTheProgramsName) {
    std::vector<const char*> argv = GetParam().argv;
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    EXPECT_EQ(ProgramArguments(argc, argv.data()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Process, ProgramArgumentsRules,
    ::testing::Values(ArgumentsCase{{}, {}}, ArgumentsCase{{"corvane-update"}, {}},
                      ArgumentsCase{{"corvane-update", "--local", "/opt/São José/", "--no-log"},
                                    {"--local", "/opt/São José/", "--no-log"}},
                      // Empty arguments and blanks inside one stay as they were given.
                      ArgumentsCase{{"demo-module", "", "a b", ""}, {"", "a b", ""}}));

// Writes past a file size limit of 4 KiB in a child process; the child exits with 0 when the
// write failed with the system's message.
void WritePastTheSizeLimit(const std::string& path, bool prepared) {
    if (prepared)
        ReportFileSizeLimitAsWriteError();
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        std::_Exit(3);
    try {
        FileStream stream(path);
        const std::string bytes(8192, 'x');
        stream.Write(bytes.data(), bytes.size());
    } catch (const SystemError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        std::_Exit(0);
    }
    std::_Exit(1);
}

TEST(ProcessDeathTest, AFileSizeLimitIsAWriteErrorOncePrepared) {
    const test::TempFolder temp;
    const std::string path = (temp.Path() / "large.bin").string();
    EXPECT_EXIT(WritePastTheSizeLimit(path, true), ::testing::ExitedWithCode(0),
                "Cannot write file .*large.bin.*File too large");
    // Unprepared, the same write ends the process: the preparation is what keeps it alive.
    EXPECT_EXIT(WritePastTheSizeLimit(path, false), ::testing::KilledBySignal(SIGXFSZ), "");
}

} // namespace
} // namespace corvane
