// The support e-mail: a new message to the support desk in the user's mail program. The mail
// program is waited for on a thread of its own (it may take as long as the mail client it
// starts stays open), so the window keeps answering; a failure is shown, on the main thread,
// in the "Falha" dialog with the result's text.
//
//   SupportMail mail(view, system.sendMail);
//   mail.Send(); // returns at once
#pragma once

#include "shell/LauncherView.h"

#include <functional>
#include <memory>
#include <string>

namespace corvane {

class SupportMail {
public:
    using Sender = std::function<int(const std::string& address)>;

    // The view must outlive the object; outcomes that arrive after it are dropped.
    SupportMail(LauncherView& view, Sender send);
    ~SupportMail();
    SupportMail(const SupportMail&) = delete;
    SupportMail& operator=(const SupportMail&) = delete;

    // Opens the new message to kSupportEmail and returns at once. Main thread only, with the
    // main-thread hand-over installed (update/MainThread.h).
    void Send();

    // The sends whose outcome has not been shown yet.
    int Underway() const { return state_->underway; }

    // The outcome of a send: nothing for success; otherwise the "Falha" dialog with the
    // result's text (an empty message for a code without one).
    static void ShowResult(LauncherView& view, int result);

private:
    struct State {
        LauncherView* view;
        int underway = 0;
    };

    Sender send_;
    std::shared_ptr<State> state_;
};

} // namespace corvane
