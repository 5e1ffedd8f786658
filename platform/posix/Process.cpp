#include "platform/Process.h"

#include "platform/Paths.h"
#include "platform/posix/NativeFiles.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvane {

namespace {

// The attributes of the spawn: the launcher's threads block signals of their own (a service
// or a test may have), which a started program must not inherit; default dispositions too.
class SpawnAttributes {
public:
    SpawnAttributes() {
        error_ = posix_spawnattr_init(&attributes_);
        if (error_ != 0)
            return;
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() {
        if (error_ == 0)
            posix_spawnattr_destroy(&attributes_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    // The system's error number when the attributes could not be made, else 0.
    int Error() const { return error_; }
    const posix_spawnattr_t* Get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    int error_ = 0;
};

} // namespace

std::vector<std::string> ProgramArguments(int argc, const char* const* argv) {
    if (argc <= 1 || argv == nullptr)
        return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

// Ignored, SIGXFSZ no longer ends the process: the write that crosses the limit fails with
// EFBIG and the caller reports it as it reports any write error.
void ReportFileSizeLimitAsWriteError() {
    std::signal(SIGXFSZ, SIG_IGN);
}

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

void StartDetachedProcess(const std::string& program, const StartupInfo& startupInfo) {
    (void)startupInfo; // See the header: nothing to pass on for ShowNormal.
    if (program.empty())
        posix::ThrowSystemError(ENOENT);
    SpawnAttributes attributes;
    if (attributes.Error() != 0)
        posix::ThrowSystemError(attributes.Error());
    // Everything the intermediate process needs is prepared before the fork: after it, only
    // the spawn, a write and _exit run there.
    // Callers join paths with backslashes, as for the file functions.
    std::string nativeProgram = ToNativePath(program);
    char* arguments[] = {nativeProgram.data(), nullptr};
    // The intermediate process tells the spawn's error through it; closed on exec, it reaches
    // neither the started program nor any other the launcher starts meanwhile.
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        posix::ThrowSystemError(errno);
    posix::UniqueDescriptor errorReader(ends[0]);
    posix::UniqueDescriptor errorWriter(ends[1]);

    const pid_t intermediate = fork();
    if (intermediate < 0)
        posix::ThrowSystemError(errno);
    if (intermediate == 0) {
        // A session of its own: the module outlives the launcher and its terminal.
        ::setsid();
        pid_t module = 0;
        const int result = posix_spawn(&module, nativeProgram.c_str(), nullptr, attributes.Get(),
                                       arguments, environ);
        if (result != 0)
            (void)!::write(errorWriter.Get(), &result, sizeof result);
        _exit(result == 0 ? 0 : 1);
    }
    errorWriter.Reset();
    // The spawn has reported every failure of the start by the time it returns, that of the
    // program's own loading included: the end of the pipe comes once the intermediate has
    // ended.
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(errorReader.Get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    // The intermediate process ends right after the spawn; reaping it is the only wait.
    int status = 0;
    pid_t waited = 0;
    do {
        waited = waitpid(intermediate, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof error) && error != 0)
        posix::ThrowSystemError(error);
    // Ended otherwise than after a spawn (killed, out of memory): whether the program runs
    // cannot be told, and a start that cannot be told is not a start.
    if (waited != intermediate || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        posix::ThrowSystemError(ECHILD);
}

} // namespace corvane
