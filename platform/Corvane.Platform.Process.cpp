#include "Corvane.Platform.Process.h"

#include "Corvane.Platform.Paths.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>

extern char** environ;

namespace corvane {

namespace {

// posix_spawnattr_t owned for one start.
class TSpawnAttributes {
public:
    TSpawnAttributes() { FValid = ::posix_spawnattr_init(&FAttributes) == 0; }
    ~TSpawnAttributes() {
        if (FValid)
            ::posix_spawnattr_destroy(&FAttributes);
    }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;

    bool Valid() const { return FValid; }
    posix_spawnattr_t* Get() { return &FAttributes; }

private:
    posix_spawnattr_t FAttributes{};
    bool FValid = false;
};

} // namespace

bool StartProcess(const std::string& path, const TStartupInfo& startupInfo) {
    // The show command has no meaning for a program started here: it opens its own window.
    static_cast<void>(startupInfo);
    TSpawnAttributes attributes;
    if (!attributes.Valid())
        return false;
    // Its own session, and the default signal handling, so the program neither receives the
    // signals meant for this one nor inherits what this one blocks or ignores.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (::posix_spawnattr_setflags(attributes.Get(), flags) != 0 ||
        ::posix_spawnattr_setsigmask(attributes.Get(), &none) != 0 ||
        ::posix_spawnattr_setsigdefault(attributes.Get(), &all) != 0)
        return false;
    const auto native = ToNativePath(path);
    char* argv[] = {const_cast<char*>(native.c_str()), nullptr};
    pid_t child = 0;
    return ::posix_spawn(&child, native.c_str(), nullptr, attributes.Get(), argv, environ) == 0;
}

} // namespace corvane
