#include "dialogs/MessageDialogText.h"

#include "dialogs/MessageDialogMetrics.h"

#include <QPalette>
#include <QTextDocument>

namespace corvane {

TTransparentMemo::TTransparentMemo(QWidget* AOwner) : QPlainTextEdit(AOwner) {
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
    QPalette LPalette = palette();
    LPalette.setColor(QPalette::Base, Qt::transparent);
    LPalette.setColor(QPalette::Text, Qt::black);
    setPalette(LPalette);
    document()->setDocumentMargin(2);
}

void TTransparentMemo::SetText(const QString& AText) {
    setPlainText(SplitParagraphs(AText).join(u'\n'));
}

QStringList TTransparentMemo::Lines() const {
    // The raw text: every paragraph ends at a paragraph separator, and the characters stay as
    // they were set (the plain-text view would turn no-break spaces into spaces).
    QStringList LLines = document()->toRawText().split(QChar::ParagraphSeparator);
    if (LLines.back().isEmpty())
        LLines.removeLast();
    return LLines;
}

} // namespace corvane
