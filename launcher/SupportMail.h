// The support e-mail of the mail area: a new message to the support desk in the user's mail
// program; a failure is shown in the "Falha" dialog with the result's text.
#pragma once

namespace corvane {

// Opens the new message to SupportEmail and returns at once. The mail program is waited for
// on a thread of its own (it may take as long as the mail client it starts stays open), so the
// window keeps answering; the outcome is shown on the main thread when the program has ended.
// Main thread only, with the main-thread hand-over installed.
void SendSupportMail();

// Shows the outcome of a send: nothing for 0; otherwise the "Falha" dialog with the result's
// text (an empty message area for a code without one).
void ShowSupportMailResult(int AResult);

// The sends whose outcome has not been shown yet. Main thread only.
int SupportMailsUnderway();

} // namespace corvane
