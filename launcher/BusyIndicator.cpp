#include "launcher/BusyIndicator.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace corvane {

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
    resize(kLargeSize, kLargeSize);
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kDotCount;
        update();
    });
}

void BusyIndicator::SetAnimates(bool animates) {
    if (animates == Animates())
        return;
    if (animates)
        timer_.start();
    else
        timer_.stop();
    update();
}

void BusyIndicator::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    if (!Animates())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double side = std::min(width(), height());
    const double dot = side / 8.0;
    const double radius = side / 2.0 - dot;
    const QPointF centre(width() / 2.0, height() / 2.0);
    for (int index = 0; index < kDotCount; ++index) {
        // The dot of the current frame is brightest; the ones behind it fade out.
        const int age = (frame_ - index + kDotCount) % kDotCount;
        QColor color = color_;
        color.setAlphaF(static_cast<float>(1.0 - age / static_cast<double>(kDotCount)));
        painter.setBrush(color);
        const double angle = 2.0 * std::numbers::pi * index / kDotCount;
        const QPointF at(centre.x() + radius * std::sin(angle),
                         centre.y() - radius * std::cos(angle));
        painter.drawEllipse(at, dot / 2.0, dot / 2.0);
    }
}

} // namespace corvane
