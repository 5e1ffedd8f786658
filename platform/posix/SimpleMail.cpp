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
constexpr int kXdgToolNotFound = 3;

} // namespace

void SimpleMail::LookForTool() {
    lookedFor_ = true;
    const char* path = std::getenv("PATH");
    if (!path)
        return;
    std::string_view rest = path;
    for (;;) {
        const size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        if (folder.empty())
            folder.push_back('.'); // not = ".": GCC 12 at -O3 falsely warns (-Wrestrict) on that
        const std::string candidate = folder + "/xdg-email";
        if (::access(candidate.c_str(), X_OK) == 0) {
            tool_ = candidate;
            return;
        }
        if (colon == std::string_view::npos)
            return;
        rest.remove_prefix(colon + 1);
    }
}

int SimpleMail::SendMail(const std::string& address) {
    std::string tool;
    {
        const std::lock_guard guard(lock_);
        if (!lookedFor_)
            LookForTool();
        tool = tool_;
    }
    if (tool.empty())
        return MailUserAbort;
    // A "mailto:" link with the address alone: a new message with no subject and no body.
    std::string link = "mailto:" + address;
    char* arguments[] = {tool.data(), link.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, tool.c_str(), nullptr, nullptr, arguments, environ) != 0)
        return MailFailure;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return MailFailure;
    if (!WIFEXITED(status))
        return MailFailure;
    switch (WEXITSTATUS(status)) {
    case 0:
        return MailSuccess;
    case kXdgToolNotFound:
        return MailUserAbort;
    default:
        return MailFailure;
    }
}

} // namespace corvane
