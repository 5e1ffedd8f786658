#include "platform/SimpleMail.h"

namespace corvane {

std::string SimpleMailResultText(int result) {
    switch (result) {
    case MailUserAbort:
        return "The user canceled one of the dialog boxes; no message was sent.";
    case MailFailure:
        return "One or more unspecified errors occurred; no message was sent.";
    case MailLoginFailure:
        return "There was no default logon, and the user failed to log on successfully when "
               "the logon dialog box was displayed. No message was sent.";
    case MailInsufficientMemory:
        return "There was insufficient memory to proceed. No message was sent.";
    case MailTooManyFiles:
        return "There were too many file attachments; no message was sent.";
    case MailTooManyRecipients:
        return "There were too many recipients; no message was sent.";
    case MailAttachmentNotFound:
        return "The specified attachment was not found. No message was sent.";
    case MailAttachmentOpenFailure:
        return "The specified attachment could not be open; no message was sent.";
    case MailUnknownRecipient:
        return "A recipient did not appear in the address list; no message was sent.";
    case MailBadRecipientType:
        return "The type of a recipient was not MAPI_TO, MAPI_CC, or MAPI_BCC. No message was "
               "sent.";
    case MailTextTooLarge:
        return "The text in the message was too large to sent; the message was not sent.";
    case MailAmbiguousRecipient:
        return "A recipient matched more than one of the recipient descriptor structures and "
               "MAPI_DIALOG was not set. No message was sent.";
    default:
        return std::string();
    }
}

SimpleMail& ProcessSimpleMail() {
    static SimpleMail mail;
    return mail;
}

} // namespace corvane
