// The support e-mail of the mail area: a new message to the support desk in the user's mail
// program; a failure is shown in the "Falha" dialog with the result's text.
#pragma once

namespace corvane {

// Opens the new message to SupportEmail and shows the outcome.
void SendSupportMail();

// Shows the outcome of a send: nothing for 0; otherwise the "Falha" dialog with the result's
// text (an empty message area for a code without one).
void ShowSupportMailResult(int AResult);

} // namespace corvane
