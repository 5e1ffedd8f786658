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
QSize MeasureAverageChar(const QFontMetrics& AMetrics);

// A caption's width on one line; an "&" marks the access key and takes no room ("&&" is one "&").
int MeasureCaption(const QFontMetrics& AMetrics, const QString& ACaption);

// The message's paragraphs: a CR LF, a lone CR or a lone LF each end one.
QStringList SplitParagraphs(const QString& AText);

// How message text is laid out, in the message area as when it is measured: wrapped at word
// boundaries (and inside a word longer than the line), tabs every 8 average characters.
QTextOption MessageTextOption(int ACharWidth, Qt::LayoutDirection ADirection);

// The extent of the message wrapped at AWidthLimit pixels: the widest line and the total height.
QSize MeasureMessage(const QFont& AFont, const QString& AText, int AWidthLimit,
                     const QTextOption& AOption);

} // namespace corvane
