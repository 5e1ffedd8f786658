#include "dialogs/MessageDialogMetrics.h"

#include <QRegularExpression>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace corvane {

QSize MeasureAverageChar(const QFontMetrics& AMetrics) {
    static const QString Letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QSize(AMetrics.horizontalAdvance(Letters) / 52, AMetrics.height());
}

int MeasureCaption(const QFontMetrics& AMetrics, const QString& ACaption) {
    QString LShown;
    LShown.reserve(ACaption.size());
    for (qsizetype i = 0; i < ACaption.size(); ++i) {
        if (ACaption[i] == u'&') {
            if (i + 1 < ACaption.size() && ACaption[i + 1] == u'&') {
                LShown += u'&';
                ++i;
            }
            continue;
        }
        LShown += ACaption[i];
    }
    return AMetrics.horizontalAdvance(LShown);
}

QStringList SplitParagraphs(const QString& AText) {
    static const QRegularExpression LineBreak(QStringLiteral("\r\n|\r|\n"));
    return AText.split(LineBreak);
}

QTextOption MessageTextOption(int ACharWidth, Qt::LayoutDirection ADirection) {
    QTextOption LOption;
    LOption.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    LOption.setTabStopDistance(8.0 * std::max(ACharWidth, 1));
    LOption.setTextDirection(ADirection);
    LOption.setAlignment(ADirection == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    return LOption;
}

QSize MeasureMessage(const QFont& AFont, const QString& AText, int AWidthLimit,
                     const QTextOption& AOption) {
    qreal LWidth = 0;
    qreal LHeight = 0;
    for (const QString& LParagraph : SplitParagraphs(AText)) {
        QTextLayout LLayout(LParagraph, AFont);
        LLayout.setTextOption(AOption);
        LLayout.beginLayout();
        for (QTextLine LLine = LLayout.createLine(); LLine.isValid();
             LLine = LLayout.createLine()) {
            // As the message area lays its lines out, so that what was measured fits.
            LLine.setLeadingIncluded(true);
            LLine.setLineWidth(AWidthLimit);
            LWidth = std::max(LWidth, LLine.naturalTextWidth());
            LHeight += LLine.height();
        }
        LLayout.endLayout();
    }
    return QSize(static_cast<int>(std::ceil(LWidth)), static_cast<int>(std::ceil(LHeight)));
}

} // namespace corvane
