// The mail program reached through xdg-email, with a "mailto:" link.
#include "platform/SimpleMail.h"

#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvane {

namespace {

// xdg-email's exit code when the desktop has no mail program it can use.
constexpr int XdgToolNotFound = 3;

} // namespace

void TSimpleMail::LookForTool() {
    FLookedFor = true;
    const char* LPath = std::getenv("PATH");
    if (!LPath)
        return;
    std::string_view LRest = LPath;
    for (;;) {
        const size_t LColon = LRest.find(':');
        std::string LFolder(LRest.substr(0, LColon));
        if (LFolder.empty())
            LFolder = ".";
        const std::string LCandidate = LFolder + "/xdg-email";
        if (::access(LCandidate.c_str(), X_OK) == 0) {
            FTool = LCandidate;
            return;
        }
        if (LColon == std::string_view::npos)
            return;
        LRest.remove_prefix(LColon + 1);
    }
}

int TSimpleMail::SendMail(const std::string& AAddress) {
    std::string LTool;
    {
        const std::lock_guard LGuard(FLock);
        if (!FLookedFor)
            LookForTool();
        LTool = FTool;
    }
    if (LTool.empty())
        return MAPI_USER_ABORT;
    // A "mailto:" link with the address alone: a new message with no subject and no body.
    std::string LLink = "mailto:" + AAddress;
    char* LArguments[] = {LTool.data(), LLink.data(), nullptr};
    pid_t LChild = 0;
    if (::posix_spawn(&LChild, LTool.c_str(), nullptr, nullptr, LArguments, environ) != 0)
        return MAPI_E_FAILURE;
    int LStatus = 0;
    while (::waitpid(LChild, &LStatus, 0) < 0)
        if (errno != EINTR)
            return MAPI_E_FAILURE;
    if (!WIFEXITED(LStatus))
        return MAPI_E_FAILURE;
    switch (WEXITSTATUS(LStatus)) {
    case 0:
        return SUCCESS_SUCCESS;
    case XdgToolNotFound:
        return MAPI_USER_ABORT;
    default:
        return MAPI_E_FAILURE;
    }
}

} // namespace corvane
