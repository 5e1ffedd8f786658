// Text measurement in the dialog's font: the figures the layout is computed from.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTextOption>

namespace corvane {

// The width of the 52 letters "A" to "Z" and "a" to "z", div 52, and their height.
QSize MeasureAverageChar(const QFontMetrics& metrics);

// A caption's width on one line; an "&" marks the access key and takes no room ("&&" is one "&").
int MeasureCaption(const QFontMetrics& metrics, const QString& caption);

// The message's paragraphs: a CR LF, a lone CR or a lone LF each end one.
QStringList SplitParagraphs(const QString& text);

// How message text is laid out, in the message area as when it is measured: wrapped at word
// boundaries (and inside a word longer than the line), tabs every 8 average characters.
QTextOption MessageTextOption(int charWidth, Qt::LayoutDirection direction);

// The extent of the message wrapped at widthLimit pixels: the widest line and the total height.
QSize MeasureMessage(const QFont& font, const QString& text, int widthLimit,
                     const QTextOption& option);

} // namespace corvane
