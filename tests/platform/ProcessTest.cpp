#include "platform/Process.h"
#include "platform/Errors.h"
#include "tests/support/FileTree.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace
} // namespace corvane
