// Plain text onto the system clipboard, for the dialog's Ctrl+C.
#pragma once

#include "platform/Errors.h"

#include <functional>

#include <QString>

namespace corvane {

// The clipboard cannot be opened or does not take the text ("Cannot open clipboard: ...").
class ClipboardException : public Exception {
public:
    using Exception::Exception;
};

// Puts text on the clipboard. Raises ClipboardException ("Cannot open clipboard: ...") when
// there is no clipboard or it does not keep the text.
void PutTextOnClipboard(const QString& text);

// What the dialog writes with: PutTextOnClipboard unless replaced, as tests do to see a clipboard
// fail. Returns the writer that was in place; an empty writer restores PutTextOnClipboard.
using ClipboardWriter = std::function<void(const QString& text)>;
ClipboardWriter SetClipboardWriter(ClipboardWriter writer);

// Writes through the current writer.
void WriteClipboardText(const QString& text);

} // namespace corvane
