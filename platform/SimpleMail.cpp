#include "platform/SimpleMail.h"

#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

extern char** environ;

namespace corvane {

namespace {

// xdg-email's exit code when the desktop has no mail program it can use.
constexpr int XdgToolNotFound = 3;

} // namespace

std::string SimpleMailResultText(int AResult) {
    switch (AResult) {
    case MAPI_USER_ABORT:
        return "The user canceled one of the dialog boxes; no message was sent.";
    case MAPI_E_FAILURE:
        return "One or more unspecified errors occurred; no message was sent.";
    case MAPI_E_LOGIN_FAILURE:
        return "There was no default logon, and the user failed to log on successfully when "
               "the logon dialog box was displayed. No message was sent.";
    case MAPI_E_INSUFFICIENT_MEMORY:
        return "There was insufficient memory to proceed. No message was sent.";
    case MAPI_E_TOO_MANY_FILES:
        return "There were too many file attachments; no message was sent.";
    case MAPI_E_TOO_MANY_RECIPIENTS:
        return "There were too many recipients; no message was sent.";
    case MAPI_E_ATTACHMENT_NOT_FOUND:
        return "The specified attachment was not found. No message was sent.";
    case MAPI_E_ATTACHMENT_OPEN_FAILURE:
        return "The specified attachment could not be open; no message was sent.";
    case MAPI_E_UNKNOWN_RECIPIENT:
        return "A recipient did not appear in the address list; no message was sent.";
    case MAPI_E_BAD_RECIPTYPE:
        return "The type of a recipient was not MAPI_TO, MAPI_CC, or MAPI_BCC. No message was "
               "sent.";
    case MAPI_E_TEXT_TOO_LARGE:
        return "The text in the message was too large to sent; the message was not sent.";
    case MAPI_E_AMBIGUOUS_RECIPIENT:
        return "A recipient matched more than one of the recipient descriptor structures and "
               "MAPI_DIALOG was not set. No message was sent.";
    default:
        return std::string();
    }
}

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
            LFolder.push_back('.'); // not = ".": GCC 12 at -O3 falsely warns (-Wrestrict) on that
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

TSimpleMail& ProcessSimpleMail() {
    static TSimpleMail LMail;
    return LMail;
}

} // namespace corvane
