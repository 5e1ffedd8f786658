// Plain text onto the system clipboard, for the dialog's Ctrl+C.
#pragma once

#include "platform/Errors.h"

#include <functional>

#include <QString>

namespace corvane {

// The clipboard cannot be opened or does not take the text ("Cannot open clipboard: ...").
class EClipboardException : public Exception {
public:
    using Exception::Exception;
};

// Puts AText on the clipboard. Raises EClipboardException ("Cannot open clipboard: ...") when
// there is no clipboard or it does not keep the text.
void PutTextOnClipboard(const QString& AText);

// What the dialog writes with: PutTextOnClipboard unless replaced, as tests do to see a clipboard
// fail. Returns the writer that was in place; an empty writer restores PutTextOnClipboard.
using TClipboardWriter = std::function<void(const QString& AText)>;
TClipboardWriter SetClipboardWriter(TClipboardWriter AWriter);

// Writes through the current writer.
void WriteClipboardText(const QString& AText);

} // namespace corvane
