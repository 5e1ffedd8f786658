#include "dialogs/Clipboard.h"

#include "platform/Errors.h"

#include <QClipboard>
#include <QGuiApplication>

#include <utility>

namespace corvane {

namespace {

ClipboardWriter& CurrentWriter() {
    static ClipboardWriter writer;
    return writer;
}

} // namespace

void PutTextOnClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        throw ClipboardException("Cannot open clipboard: no clipboard is available");
    clipboard->setText(text, QClipboard::Clipboard);
    // The window system may refuse us the clipboard without a word; reading it back tells.
    if (clipboard->text(QClipboard::Clipboard) != text)
        throw ClipboardException("Cannot open clipboard: the clipboard did not keep the text");
}

ClipboardWriter SetClipboardWriter(ClipboardWriter writer) {
    return std::exchange(CurrentWriter(), std::move(writer));
}

void WriteClipboardText(const QString& text) {
    if (const ClipboardWriter& writer = CurrentWriter())
        writer(text);
    else
        PutTextOnClipboard(text);
}

} // namespace corvane
