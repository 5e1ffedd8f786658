#include "dialogs/MessageDialogPictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <memory>

namespace corvane {

namespace {

const QColor kGreen(46, 125, 50);
const QColor kRed(198, 40, 40);
const QColor kBlue(21, 101, 192);
const QColor kAmber(230, 120, 0);

// Draws a picture in a 16 x 16 design box scaled to any size, so that it stays sharp on every
// screen; a disabled button gets it in grey.
class ButtonPictureEngine : public QIconEngine {
public:
    explicit ButtonPictureEngine(ButtonGlyph kind) : kind_(kind) {}

    QIconEngine* clone() const override { return new ButtonPictureEngine(kind_); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State /*state*/) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const int side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        const bool grey = mode == QIcon::Disabled;
        auto shadeOf = [grey](const QColor& color) { return grey ? QColor(150, 150, 150) : color; };
        auto pen = [&](const QColor& color, qreal width) {
            return QPen(shadeOf(color), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        };
        switch (kind_) {
        case ButtonGlyph::None:
            break;
        case ButtonGlyph::OK:
        case ButtonGlyph::Yes:
            painter->setPen(pen(kGreen, 2.2));
            painter->drawPolyline(QPolygonF({{2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5}}));
            break;
        case ButtonGlyph::All:
            painter->setPen(pen(kGreen, 1.8));
            painter->drawPolyline(QPolygonF({{0.8, 8.5}, {3.8, 11.5}, {9.3, 4.0}}));
            painter->drawPolyline(QPolygonF({{6.5, 8.5}, {9.5, 11.5}, {15.0, 4.0}}));
            break;
        case ButtonGlyph::Cancel:
            painter->setPen(pen(kRed, 2.2));
            painter->drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            painter->drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
            break;
        case ButtonGlyph::Abort:
            painter->setPen(pen(kRed, 1.8));
            painter->drawEllipse(QPointF(8, 8), 5.6, 5.6);
            painter->drawLine(QPointF(4.1, 11.9), QPointF(11.9, 4.1));
            break;
        case ButtonGlyph::Retry: {
            painter->setPen(pen(kBlue, 1.8));
            QPainterPath arc;
            arc.arcMoveTo(QRectF(2.5, 2.5, 11, 11), 90);
            arc.arcTo(QRectF(2.5, 2.5, 11, 11), 90, 280);
            painter->drawPath(arc);
            painter->setPen(Qt::NoPen);
            painter->setBrush(shadeOf(kBlue));
            painter->drawPolygon(QPolygonF({{7.0, 0.2}, {11.0, 2.8}, {7.0, 5.0}}));
            break;
        }
        case ButtonGlyph::Ignore: {
            // An arrow that jumps over a block: going on regardless.
            painter->setPen(pen(kAmber, 1.8));
            QPainterPath jump;
            jump.moveTo(1.5, 11.5);
            jump.cubicTo(3.0, 3.5, 11.0, 3.0, 13.0, 9.0);
            painter->drawPath(jump);
            painter->setPen(Qt::NoPen);
            painter->setBrush(shadeOf(kAmber));
            painter->drawPolygon(QPolygonF({{10.3, 8.6}, {15.2, 8.0}, {13.6, 12.6}}));
            painter->setBrush(shadeOf(QColor(120, 120, 120)));
            painter->drawRect(QRectF(5.5, 11.0, 4.0, 4.0));
            break;
        }
        case ButtonGlyph::Help: {
            painter->setPen(Qt::NoPen);
            painter->setBrush(shadeOf(kBlue));
            painter->drawEllipse(QPointF(8, 8), 7.2, 7.2);
            QFont font = painter->font();
            font.setPixelSize(12);
            font.setBold(true);
            painter->setFont(font);
            painter->setPen(Qt::white);
            painter->drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

private:
    ButtonGlyph kind_;
};

} // namespace

QIcon ButtonPicture(ButtonGlyph kind) {
    if (kind == ButtonGlyph::None)
        return QIcon();
    // QIcon takes the engine over.
    return QIcon(std::make_unique<ButtonPictureEngine>(kind).release());
}

QIcon DialogTypeIcon(DialogType dlgType, const QStyle* style) {
    switch (dlgType) {
    case Warning:
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case Error:
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case Information:
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case Confirmation:
        return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case Custom:
        break;
    }
    return QIcon();
}

} // namespace corvane
