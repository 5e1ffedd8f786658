#include "launcher/PictureArea.h"

#include <QMouseEvent>

namespace corvane {

TImage::TImage(QWidget* AParent) : QLabel(AParent) {}

void TImage::mousePressEvent(QMouseEvent* AEvent) {
    if (AEvent->button() == Qt::LeftButton)
        FPressed = true;
    QLabel::mousePressEvent(AEvent);
}

void TImage::mouseReleaseEvent(QMouseEvent* AEvent) {
    const bool LClick = AEvent->button() == Qt::LeftButton && FPressed &&
                        rect().contains(AEvent->position().toPoint());
    if (AEvent->button() == Qt::LeftButton)
        FPressed = false;
    QLabel::mouseReleaseEvent(AEvent);
    if (LClick)
        emit clicked();
}

} // namespace corvane
