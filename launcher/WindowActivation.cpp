#include "launcher/WindowActivation.h"

#include <QWidget>

namespace corvane {

void RestoreAndBringToFront(QWidget& AWindow) {
    if (AWindow.isMinimized() || !AWindow.isVisible())
        AWindow.showNormal();
    AWindow.raise();
    AWindow.activateWindow();
}

} // namespace corvane
