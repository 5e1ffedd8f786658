#include "dialogs/MessageDialogMetrics.h"

#include <QRegularExpression>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace corvane {

QSize MeasureAverageChar(const QFontMetrics& metrics) {
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QSize(metrics.horizontalAdvance(kLetters) / 52, metrics.height());
}

int MeasureCaption(const QFontMetrics& metrics, const QString& caption) {
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (i + 1 < caption.size() && caption[i + 1] == u'&') {
                shown += u'&';
                ++i;
            }
            continue;
        }
        shown += caption[i];
    }
    return metrics.horizontalAdvance(shown);
}

QStringList SplitParagraphs(const QString& text) {
    static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\r|\n"));
    return text.split(kLineBreak);
}

QTextOption MessageTextOption(int charWidth, Qt::LayoutDirection direction) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(8.0 * std::max(charWidth, 1));
    option.setTextDirection(direction);
    option.setAlignment(direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    return option;
}

QSize MeasureMessage(const QFont& font, const QString& text, int widthLimit,
                     const QTextOption& option) {
    qreal width = 0;
    qreal height = 0;
    for (const QString& paragraph : SplitParagraphs(text)) {
        QTextLayout layout(paragraph, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            // As the message area lays its lines out, so that what was measured fits.
            line.setLeadingIncluded(true);
            line.setLineWidth(widthLimit);
            width = std::max(width, line.naturalTextWidth());
            height += line.height();
        }
        layout.endLayout();
    }
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
}

} // namespace corvane
