// The start-up settings the process starter applies to every program it starts.
#pragma once

namespace corvane {

// How a started program shows its first window (the values of the Windows show commands).
enum class TShowWindow : int {
    Hide = 0,
    ShowNormal = 1,
};

// Starts out empty: no setting is applied until UseShowWindow is set. No standard handles,
// window position or size are ever passed on; a started program gets its own.
struct TStartupInfo {
    bool UseShowWindow = false;
    TShowWindow ShowWindow = TShowWindow::Hide;

    friend bool operator==(const TStartupInfo&, const TStartupInfo&) = default;
};

} // namespace corvane
