#include "dialogs/MessageDialogText.h"

#include "dialogs/MessageDialogMetrics.h"

#include <QPalette>
#include <QTextDocument>

namespace corvane {

MessageDialogText::MessageDialogText(QWidget* owner) : QPlainTextEdit(owner) {
    setFrameShape(QFrame::NoFrame);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setContextMenuPolicy(Qt::NoContextMenu);
    // Transparent: nothing of its own is painted under the text, so the dialog's background
    // shows through, also while the text scrolls.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette textPalette = palette();
    textPalette.setColor(QPalette::Base, Qt::transparent);
    textPalette.setColor(QPalette::Text, Qt::black);
    setPalette(textPalette);
    document()->setDocumentMargin(2);
}

void MessageDialogText::SetText(const QString& text) {
    setPlainText(SplitParagraphs(text).join(u'\n'));
}

QStringList MessageDialogText::Lines() const {
    // The raw text: every paragraph ends at a paragraph separator, and the characters stay as
    // they were set (the plain-text view would turn no-break spaces into spaces).
    QStringList lines = document()->toRawText().split(QChar::ParagraphSeparator);
    if (lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace corvane
