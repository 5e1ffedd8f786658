#include "launcher/ActivityIndicator.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace corvane {

TActivityIndicator::TActivityIndicator(QWidget* AParent) : QWidget(AParent) {
    resize(LargeSize, LargeSize);
    FTimer.setInterval(50);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        FFrame = (FFrame + 1) % DotCount;
        update();
    });
}

void TActivityIndicator::SetAnimate(bool AAnimate) {
    if (AAnimate == Animate())
        return;
    if (AAnimate)
        FTimer.start();
    else
        FTimer.stop();
    update();
}

void TActivityIndicator::SetColor(const QColor& AColor) {
    FColor = AColor;
    update();
}

void TActivityIndicator::paintEvent(QPaintEvent*) {
    if (!Animate())
        return;
    QPainter LPainter(this);
    LPainter.setRenderHint(QPainter::Antialiasing);
    LPainter.setPen(Qt::NoPen);
    const double LSide = std::min(width(), height());
    const double LDot = LSide / 8.0;
    const double LRadius = LSide / 2.0 - LDot;
    const QPointF LCentre(width() / 2.0, height() / 2.0);
    for (int LIndex = 0; LIndex < DotCount; ++LIndex) {
        // The dot of the current frame is brightest; the ones behind it fade out.
        const int LAge = (FFrame - LIndex + DotCount) % DotCount;
        QColor LColor = FColor;
        LColor.setAlphaF(static_cast<float>(1.0 - LAge / static_cast<double>(DotCount)));
        LPainter.setBrush(LColor);
        const double LAngle = 2.0 * std::numbers::pi * LIndex / DotCount;
        const QPointF LAt(LCentre.x() + LRadius * std::sin(LAngle),
                          LCentre.y() - LRadius * std::cos(LAngle));
        LPainter.drawEllipse(LAt, LDot / 2.0, LDot / 2.0);
    }
}

} // namespace corvane
