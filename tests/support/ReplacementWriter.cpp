#include "tests/support/ReplacementWriter.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane::test {

ReplacementWriter::ReplacementWriter(const std::filesystem::path& target) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    child_ = ::fork();
    if (child_ == 0) {
        ::close(ends[0]);
        std::string said;
        try {
            ReplacementFile file(target.string(), FilePermissions::Program);
            const std::string bytes(64 * 1024, 'x');
            file.Write(bytes.data(), bytes.size());
            said = file.TemporaryName() + '\n';
            (void)!::write(ends[1], said.data(), said.size());
            for (;;)
                ::pause();
        } catch (...) {
            _exit(1);
        }
    }
    ::close(ends[1]);
    if (child_ < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        ::close(ends[0]);
        return;
    }
    // The name, then the end of the line; nothing when the child failed.
    std::string name;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(ends[0], &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            break;
        name.push_back(c);
    }
    ::close(ends[0]);
    if (c != '\n') {
        ADD_FAILURE() << "the writer could not create its file beside " << target;
        Kill();
        return;
    }
    temporary_ = name;
}

ReplacementWriter::~ReplacementWriter() {
    Kill();
}

void ReplacementWriter::Kill() {
    if (child_ <= 0)
        return;
    ::kill(child_, SIGKILL);
    while (::waitpid(child_, nullptr, 0) < 0 && errno == EINTR) {
    }
    child_ = -1;
}

} // namespace corvane::test
