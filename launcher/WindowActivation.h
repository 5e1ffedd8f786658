// Restoring the application and bringing it to the front: a double-click on the tray icon,
// "Abre o Sistema de Gesttão Hospitalar" and a second start of the launcher all do this.
#pragma once

class QWidget;

namespace corvane {

// Shows AWindow again when it is minimised or hidden, raises it and gives it the focus.
void RestoreAndBringToFront(QWidget& AWindow);

} // namespace corvane
