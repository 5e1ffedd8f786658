// Colour arithmetic of the message dialog.
#pragma once

#include <QColor>

namespace corvane {

// color with its luminance replaced by luminance, on the 0 to 240 hue-luminance-saturation
// scale; hue and saturation stay. A grey becomes round(luminance * 255 / 240), halves to even
// (200 gives 212).
QColor WithLuminance(const QColor& color, int luminance);

} // namespace corvane
