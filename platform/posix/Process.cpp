#include "platform/Process.h"

#include "platform/Paths.h"

#include <cerrno>
#include <csignal>
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
        valid_ = posix_spawnattr_init(&attributes_) == 0;
        if (!valid_)
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
        if (valid_)
            posix_spawnattr_destroy(&attributes_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    bool Valid() const { return valid_; }
    const posix_spawnattr_t* Get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool valid_ = false;
};

} // namespace

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

bool StartDetachedProcess(const std::string& program, const StartupInfo& startupInfo) {
    (void)startupInfo; // See the header: nothing to pass on for ShowNormal.
    if (program.empty())
        return false;
    SpawnAttributes attributes;
    if (!attributes.Valid())
        return false;
    // Everything the intermediate process needs is prepared before the fork: after it, only
    // the spawn and _exit run there.
    // Callers join paths with backslashes, as for the file functions.
    std::string nativeProgram = ToNativePath(program);
    char* arguments[] = {nativeProgram.data(), nullptr};

    const pid_t intermediate = fork();
    if (intermediate < 0)
        return false;
    if (intermediate == 0) {
        // A session of its own: the module outlives the launcher and its terminal.
        ::setsid();
        pid_t module = 0;
        const int result = posix_spawn(&module, nativeProgram.c_str(), nullptr, attributes.Get(),
                                       arguments, environ);
        _exit(result == 0 ? 0 : 1);
    }
    // The intermediate process ends right after the spawn; reaping it is the only wait.
    int status = 0;
    pid_t waited = 0;
    do {
        waited = waitpid(intermediate, &status, 0);
    } while (waited < 0 && errno == EINTR);
    return waited == intermediate && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace corvane
