#include "platform/Process.h"
#include "tests/support/FileTree.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
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

    ASSERT_TRUE(StartDetachedProcess(script.string(), StartupInfo{}));
    pollfd ready{reader, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 30000), 1);
    char buffer[64] = {};
    const auto count = ::read(reader, buffer, sizeof buffer - 1);
    ::close(reader);
    ASSERT_GT(count, 0);
    // Its own session, not this process's.
    EXPECT_NE(std::stol(buffer), static_cast<long>(::getsid(0)));

    EXPECT_FALSE(StartDetachedProcess((temp.Path() / "missing").string(), StartupInfo{}));
}

} // namespace
} // namespace corvane
