#include "dialogs/Clipboard.h"

#include "platform/Errors.h"

#include <QClipboard>
#include <QGuiApplication>

#include <utility>

namespace corvane {

namespace {

TClipboardWriter& CurrentWriter() {
    static TClipboardWriter LWriter;
    return LWriter;
}

} // namespace

void PutTextOnClipboard(const QString& AText) {
    QClipboard* LClipboard = QGuiApplication::clipboard();
    if (LClipboard == nullptr)
        throw EClipboardException("Cannot open clipboard: no clipboard is available");
    LClipboard->setText(AText, QClipboard::Clipboard);
    // The window system may refuse us the clipboard without a word; reading it back tells.
    if (LClipboard->text(QClipboard::Clipboard) != AText)
        throw EClipboardException("Cannot open clipboard: the clipboard did not keep the text");
}

TClipboardWriter SetClipboardWriter(TClipboardWriter AWriter) {
    return std::exchange(CurrentWriter(), std::move(AWriter));
}

void WriteClipboardText(const QString& AText) {
    if (const TClipboardWriter& LWriter = CurrentWriter())
        LWriter(AText);
    else
        PutTextOnClipboard(AText);
}

} // namespace corvane
