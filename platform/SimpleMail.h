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
enum SimpleMailResult : int {
    MailSuccess = 0,
    MailUserAbort = 1,
    MailFailure = 2,
    MailLoginFailure = 3,
    MailInsufficientMemory = 5,
    MailTooManyFiles = 9,
    MailTooManyRecipients = 10,
    MailAttachmentNotFound = 11,
    MailAttachmentOpenFailure = 12,
    MailUnknownRecipient = 14,
    MailBadRecipientType = 15,
    MailTextTooLarge = 18,
    MailAmbiguousRecipient = 21,
};

// The text the user sees for a result; empty for 0 and for a code not listed.
std::string SimpleMailResultText(int result);

class SimpleMail {
public:
    // Opens a new, empty message to address (no subject, no body). SUCCESS_SUCCESS when the
    // mail program took it, MAPI_USER_ABORT when there is no mail tool (as a cancel would),
    // MAPI_E_FAILURE when the tool failed. Waits until the tool has handed the message over,
    // which may last as long as a mail client it started stays open. Sends may run on several
    // threads at once.
    int SendMail(const std::string& address);

private:
    // The first send looks for the tool along PATH; the outcome holds for the process.
    void LookForTool();

    std::mutex lock_; // guards the look-up and its outcome
    bool lookedFor_ = false;
    std::string tool_;
};

// The process's one mail state.
SimpleMail& ProcessSimpleMail();

} // namespace corvane
