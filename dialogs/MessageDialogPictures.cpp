#include "dialogs/MessageDialogPictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <memory>

namespace corvane {

namespace {

const QColor Green(46, 125, 50);
const QColor Red(198, 40, 40);
const QColor Blue(21, 101, 192);
const QColor Amber(230, 120, 0);

// Draws a picture in a 16 x 16 design box scaled to any size, so that it stays sharp on every
// screen; a disabled button gets it in grey.
class TButtonPictureEngine : public QIconEngine {
public:
    explicit TButtonPictureEngine(TBitBtnKind AKind) : FKind(AKind) {}

    QIconEngine* clone() const override { return new TButtonPictureEngine(FKind); }

    void paint(QPainter* APainter, const QRect& ARect, QIcon::Mode AMode,
               QIcon::State /*AState*/) override {
        APainter->save();
        APainter->setRenderHint(QPainter::Antialiasing);
        const int LSide = std::min(ARect.width(), ARect.height());
        APainter->translate(ARect.x() + (ARect.width() - LSide) / 2.0,
                            ARect.y() + (ARect.height() - LSide) / 2.0);
        APainter->scale(LSide / 16.0, LSide / 16.0);
        const bool LGrey = AMode == QIcon::Disabled;
        auto LColor = [LGrey](const QColor& AColor) {
            return LGrey ? QColor(150, 150, 150) : AColor;
        };
        auto LPen = [&](const QColor& AColor, qreal AWidth) {
            return QPen(LColor(AColor), AWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        };
        switch (FKind) {
        case TBitBtnKind::bkNone:
            break;
        case TBitBtnKind::bkOK:
        case TBitBtnKind::bkYes:
            APainter->setPen(LPen(Green, 2.2));
            APainter->drawPolyline(QPolygonF({{2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5}}));
            break;
        case TBitBtnKind::bkAll:
            APainter->setPen(LPen(Green, 1.8));
            APainter->drawPolyline(QPolygonF({{0.8, 8.5}, {3.8, 11.5}, {9.3, 4.0}}));
            APainter->drawPolyline(QPolygonF({{6.5, 8.5}, {9.5, 11.5}, {15.0, 4.0}}));
            break;
        case TBitBtnKind::bkCancel:
            APainter->setPen(LPen(Red, 2.2));
            APainter->drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            APainter->drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
            break;
        case TBitBtnKind::bkAbort:
            APainter->setPen(LPen(Red, 1.8));
            APainter->drawEllipse(QPointF(8, 8), 5.6, 5.6);
            APainter->drawLine(QPointF(4.1, 11.9), QPointF(11.9, 4.1));
            break;
        case TBitBtnKind::bkRetry: {
            APainter->setPen(LPen(Blue, 1.8));
            QPainterPath LArc;
            LArc.arcMoveTo(QRectF(2.5, 2.5, 11, 11), 90);
            LArc.arcTo(QRectF(2.5, 2.5, 11, 11), 90, 280);
            APainter->drawPath(LArc);
            APainter->setPen(Qt::NoPen);
            APainter->setBrush(LColor(Blue));
            APainter->drawPolygon(QPolygonF({{7.0, 0.2}, {11.0, 2.8}, {7.0, 5.0}}));
            break;
        }
        case TBitBtnKind::bkIgnore: {
            // An arrow that jumps over a block: going on regardless.
            APainter->setPen(LPen(Amber, 1.8));
            QPainterPath LJump;
            LJump.moveTo(1.5, 11.5);
            LJump.cubicTo(3.0, 3.5, 11.0, 3.0, 13.0, 9.0);
            APainter->drawPath(LJump);
            APainter->setPen(Qt::NoPen);
            APainter->setBrush(LColor(Amber));
            APainter->drawPolygon(QPolygonF({{10.3, 8.6}, {15.2, 8.0}, {13.6, 12.6}}));
            APainter->setBrush(LColor(QColor(120, 120, 120)));
            APainter->drawRect(QRectF(5.5, 11.0, 4.0, 4.0));
            break;
        }
        case TBitBtnKind::bkHelp: {
            APainter->setPen(Qt::NoPen);
            APainter->setBrush(LColor(Blue));
            APainter->drawEllipse(QPointF(8, 8), 7.2, 7.2);
            QFont LFont = APainter->font();
            LFont.setPixelSize(12);
            LFont.setBold(true);
            APainter->setFont(LFont);
            APainter->setPen(Qt::white);
            APainter->drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        }
        APainter->restore();
    }

    QPixmap pixmap(const QSize& ASize, QIcon::Mode AMode, QIcon::State AState) override {
        QPixmap LPixmap(ASize);
        LPixmap.fill(Qt::transparent);
        QPainter LPainter(&LPixmap);
        paint(&LPainter, QRect(QPoint(0, 0), ASize), AMode, AState);
        return LPixmap;
    }

private:
    TBitBtnKind FKind;
};

} // namespace

QIcon ButtonPicture(TBitBtnKind AKind) {
    if (AKind == TBitBtnKind::bkNone)
        return QIcon();
    // QIcon takes the engine over.
    return QIcon(std::make_unique<TButtonPictureEngine>(AKind).release());
}

QIcon DialogTypeIcon(TMsgDlgType ADlgType, const QStyle* AStyle) {
    switch (ADlgType) {
    case mtWarning:
        return AStyle->standardIcon(QStyle::SP_MessageBoxWarning);
    case mtError:
        return AStyle->standardIcon(QStyle::SP_MessageBoxCritical);
    case mtInformation:
        return AStyle->standardIcon(QStyle::SP_MessageBoxInformation);
    case mtConfirmation:
        return AStyle->standardIcon(QStyle::SP_MessageBoxQuestion);
    case mtCustom:
        break;
    }
    return QIcon();
}

} // namespace corvane
