// The system's message dialog: every message the launcher shows to its users goes through it.
//
//   ShowNotice("Aplicação atualizada com sucesso!");
//   MessageAt(text, Error, {}, 0, -1, -1, QString());
//
// All of it runs on the main thread. X and Y are the screen coordinates of the dialog's top-left
// corner; a negative value leaves that coordinate centred on the primary screen. Every function
// that shows a dialog returns the result the dialog ended with (see the mr constants).
#pragma once

#include <memory>

#include <QString>

#include "dialogs/MessageDialogHost.h"
#include "dialogs/MessageDialogTypes.h"
#include "dialogs/MessageDialogWindow.h"

namespace corvane {

// A notice captioned with the application title, with one OK button, centred.
int ShowNotice(const QString& message);
int ShowNoticeAt(const QString& message, int x, int y);

// Builds a dialog and shows it modally.
int MessageAt(const QString& message, DialogType dlgType, DialogButtons buttons, int helpCtx, int x,
              int y, const QString& helpFileName);

// Shows a built dialog modally and destroys it in every case, also when showing raises.
int ShowDialogModal(std::unique_ptr<MessageDialogWindow> dialog, int helpCtx, int x, int y,
                    const QString& helpFileName);

// Builds a dialog, not shown. An empty button set becomes {Yes, No} for Confirmation and {OK}
// for every other type. The three-argument form makes OK the default button if the set holds it,
// else Yes, else Retry; a default button outside the set gives way to the first button laid out.
std::unique_ptr<MessageDialogWindow> BuildMessageForm(const QString& message, DialogType dlgType,
                                                      DialogButtons buttons);
std::unique_ptr<MessageDialogWindow> BuildMessageForm(const QString& message, DialogType dlgType,
                                                      DialogButtons buttons,
                                                      DialogButton defaultButton);

} // namespace corvane
