// Opening the user's mail program with a new message to one address. On this desktop the
// mail program is reached through xdg-email, looked for once per process; its outcome is
// reported with the result codes (and texts) of the other desktop's Simple MAPI, which an
// implementation there puts in its place.
//
//     const int result = ProcessSimpleMail().SendMail("suporte@corvane.example");
//     if (result != SUCCESS_SUCCESS) ShowNotice(SimpleMailResultText(result));
#pragma once

#include <mutex>
#include <string>

namespace corvane {

// The result codes of a send.
enum TSimpleMailResult : int {
    SUCCESS_SUCCESS = 0,
    MAPI_USER_ABORT = 1,
    MAPI_E_FAILURE = 2,
    MAPI_E_LOGIN_FAILURE = 3,
    MAPI_E_INSUFFICIENT_MEMORY = 5,
    MAPI_E_TOO_MANY_FILES = 9,
    MAPI_E_TOO_MANY_RECIPIENTS = 10,
    MAPI_E_ATTACHMENT_NOT_FOUND = 11,
    MAPI_E_ATTACHMENT_OPEN_FAILURE = 12,
    MAPI_E_UNKNOWN_RECIPIENT = 14,
    MAPI_E_BAD_RECIPTYPE = 15,
    MAPI_E_TEXT_TOO_LARGE = 18,
    MAPI_E_AMBIGUOUS_RECIPIENT = 21,
};

// The text the user sees for a result; empty for 0 and for a code not listed.
std::string SimpleMailResultText(int AResult);

class TSimpleMail {
public:
    // Opens a new, empty message to AAddress (no subject, no body). SUCCESS_SUCCESS when the
    // mail program took it, MAPI_USER_ABORT when there is no mail tool (as a cancel would),
    // MAPI_E_FAILURE when the tool failed. Waits until the tool has handed the message over,
    // which may last as long as a mail client it started stays open. Sends may run on several
    // threads at once.
    int SendMail(const std::string& AAddress);

private:
    // The first send looks for the tool along PATH; the outcome holds for the process.
    void LookForTool();

    std::mutex FLock; // guards the look-up and its outcome
    bool FLookedFor = false;
    std::string FTool;
};

// The process's one mail state.
TSimpleMail& ProcessSimpleMail();

} // namespace corvane
