#include "Corvane.SupportMail.h"

#include "Bk.VCL.Dialogs.h"
#include "Corvane.Contacts.h"
#include "Corvane.Platform.SimpleMail.h"

namespace corvane {

void SendSupportMail() {
    ShowSupportMailResult(ProcessSimpleMail().SendMail(SupportEmail));
}

void ShowSupportMailResult(int AResult) {
    if (AResult == SUCCESS_SUCCESS)
        return;
    MessageAt(QString::fromStdString(SimpleMailResultText(AResult)), mtError, {}, 0, -1, -1,
              QString());
}

} // namespace corvane
