#include "launcher/SupportMail.h"

#include "dialogs/MessageDialog.h"
#include "launcher/Contacts.h"
#include "platform/Errors.h"
#include "platform/SimpleMail.h"
#include "update/MainThread.h"
#include "update/SelfFreeingThread.h"

#include <memory>

namespace corvane {

namespace {

// Touched on the main thread only.
int SendsUnderway = 0;

// A send counts as under way until its outcome has been shown, also when showing it fails.
struct TSendEnd {
    ~TSendEnd() { --SendsUnderway; }
};

} // namespace

void SendSupportMail() {
    const std::shared_ptr<IMainThreadDispatcher> LDispatcher = MainThreadDispatcher();
    if (!LDispatcher)
        throw Exception("No main-thread dispatcher installed");
    ++SendsUnderway;
    try {
        TSelfFreeingThread::Start([LDispatcher] {
            const int LResult = ProcessSimpleMail().SendMail(SupportEmail);
            LDispatcher->Post([LResult] {
                const TSendEnd LEnd;
                ShowSupportMailResult(LResult);
            });
        });
    } catch (...) {
        --SendsUnderway;
        throw;
    }
}

void ShowSupportMailResult(int AResult) {
    if (AResult == SUCCESS_SUCCESS)
        return;
    MessageAt(QString::fromStdString(SimpleMailResultText(AResult)), mtError, {}, 0, -1, -1,
              QString());
}

int SupportMailsUnderway() {
    return SendsUnderway;
}

} // namespace corvane
