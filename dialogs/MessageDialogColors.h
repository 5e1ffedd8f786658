// Colour arithmetic of the message dialog.
#pragma once

#include <QColor>

namespace corvane {

// AColor with its luminance replaced by ALuminance, on the 0 to 240 hue-luminance-saturation
// scale; hue and saturation stay. A grey becomes round(ALuminance * 255 / 240), halves to even
// (200 gives 212).
QColor WithLuminance(const QColor& AColor, int ALuminance);

} // namespace corvane
