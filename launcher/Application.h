// The application object's settings that the whole launcher shares.
#pragma once

namespace corvane {

// Gives the running application its title (shell/LauncherTexts.h), its error report, its
// main-thread hand-over and its icon, and keeps it running when its last visible window
// closes. Call once, right after the QApplication exists.
void InitializeApplication();

} // namespace corvane
