#include "shell/SupportMail.h"

#include "platform/Errors.h"
#include "platform/SimpleMail.h"
#include "shell/Contacts.h"
#include "update/MainThread.h"
#include "update/SelfFreeingThread.h"

#include <utility>

namespace corvane {

SupportMail::SupportMail(LauncherView& view, Sender send)
    : send_(std::move(send)), state_(std::make_shared<State>(State{&view})) {}

SupportMail::~SupportMail() = default;

void SupportMail::Send() {
    const std::shared_ptr<MainThreadDispatcherInterface> dispatcher = MainThreadDispatcher();
    if (!dispatcher)
        throw Exception("No main-thread dispatcher installed");
    ++state_->underway;
    try {
        SelfFreeingThread::Start([dispatcher, send = send_, state = std::weak_ptr<State>(state_)] {
            const int result = send(kSupportEmail);
            dispatcher->Post([state, result] {
                const std::shared_ptr<State> alive = state.lock();
                if (!alive)
                    return;
                // Under way until its outcome has been shown, also when showing fails.
                struct SendEnd {
                    State& state;
                    ~SendEnd() { --state.underway; }
                } end{*alive};
                ShowResult(*alive->view, result);
            });
        });
    } catch (...) {
        --state_->underway;
        throw;
    }
}

void SupportMail::ShowResult(LauncherView& view, int result) {
    if (result == MailSuccess)
        return;
    view.ShowMessage(MessageKind::Error, SimpleMailResultText(result));
}

} // namespace corvane
