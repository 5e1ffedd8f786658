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
class TSpawnAttributes {
public:
    TSpawnAttributes() {
        FValid = posix_spawnattr_init(&FAttributes) == 0;
        if (!FValid)
            return;
        sigset_t LNone;
        sigemptyset(&LNone);
        sigset_t LAll;
        sigfillset(&LAll);
        posix_spawnattr_setsigmask(&FAttributes, &LNone);
        posix_spawnattr_setsigdefault(&FAttributes, &LAll);
        posix_spawnattr_setflags(&FAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~TSpawnAttributes() {
        if (FValid)
            posix_spawnattr_destroy(&FAttributes);
    }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;

    bool Valid() const { return FValid; }
    const posix_spawnattr_t* Get() const { return &FAttributes; }

private:
    posix_spawnattr_t FAttributes{};
    bool FValid = false;
};

} // namespace

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

bool StartDetachedProcess(const std::string& AProgram, const TStartupInfo& AStartupInfo) {
    (void)AStartupInfo; // See the header: nothing to pass on for ShowNormal.
    if (AProgram.empty())
        return false;
    TSpawnAttributes LAttributes;
    if (!LAttributes.Valid())
        return false;
    // Everything the intermediate process needs is prepared before the fork: after it, only
    // the spawn and _exit run there.
    // Callers join paths with backslashes, as for the file functions.
    std::string LProgram = ToNativePath(AProgram);
    char* LArguments[] = {LProgram.data(), nullptr};

    const pid_t LIntermediate = fork();
    if (LIntermediate < 0)
        return false;
    if (LIntermediate == 0) {
        // A session of its own: the module outlives the launcher and its terminal.
        ::setsid();
        pid_t LModule = 0;
        const int LResult = posix_spawn(&LModule, LProgram.c_str(), nullptr, LAttributes.Get(),
                                        LArguments, environ);
        _exit(LResult == 0 ? 0 : 1);
    }
    // The intermediate process ends right after the spawn; reaping it is the only wait.
    int LStatus = 0;
    pid_t LWaited = 0;
    do {
        LWaited = waitpid(LIntermediate, &LStatus, 0);
    } while (LWaited < 0 && errno == EINTR);
    return LWaited == LIntermediate && WIFEXITED(LStatus) && WEXITSTATUS(LStatus) == 0;
}

} // namespace corvane
