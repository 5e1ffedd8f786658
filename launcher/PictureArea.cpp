#include "launcher/PictureArea.h"

#include <QMouseEvent>

namespace corvane {

PictureArea::PictureArea(QWidget* parent) : QLabel(parent) {}

void PictureArea::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QLabel::mousePressEvent(event);
}

void PictureArea::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = event->button() == Qt::LeftButton && pressed_ &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit Clicked();
}

} // namespace corvane
