#include "platform/SimpleMail.h"

namespace corvane {

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

TSimpleMail& ProcessSimpleMail() {
    static TSimpleMail LMail;
    return LMail;
}

} // namespace corvane
