#include "dialogs/MessageDialogColors.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

// The 0 to 240 scale of hue, luminance and saturation that the dialog's colours are given in.
constexpr int kHlsMax = 240;
constexpr int kRgbMax = 255;

struct HlsColor {
    int hue;
    int luminance;
    int saturation;
};

HlsColor ToHLS(int r, int g, int b) {
    const int max = std::max({r, g, b});
    const int min = std::min({r, g, b});
    HlsColor result{kHlsMax * 2 / 3, ((max + min) * kHlsMax + kRgbMax) / (2 * kRgbMax), 0};
    if (max == min)
        return result;
    const int delta = max - min;
    if (result.luminance <= kHlsMax / 2)
        result.saturation = (delta * kHlsMax + (max + min) / 2) / (max + min);
    else
        result.saturation =
            (delta * kHlsMax + (2 * kRgbMax - max - min) / 2) / (2 * kRgbMax - max - min);
    const int rDelta = ((max - r) * (kHlsMax / 6) + delta / 2) / delta;
    const int gDelta = ((max - g) * (kHlsMax / 6) + delta / 2) / delta;
    const int bDelta = ((max - b) * (kHlsMax / 6) + delta / 2) / delta;
    int hue;
    if (r == max)
        hue = bDelta - gDelta;
    else if (g == max)
        hue = kHlsMax / 3 + rDelta - bDelta;
    else
        hue = 2 * kHlsMax / 3 + gDelta - rDelta;
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
    result.hue = hue;
    return result;
}

int HueToRGB(int n1, int n2, int hue) {
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
    if (hue < kHlsMax / 6)
        return n1 + ((n2 - n1) * hue + kHlsMax / 12) / (kHlsMax / 6);
    if (hue < kHlsMax / 2)
        return n2;
    if (hue < kHlsMax * 2 / 3)
        return n1 + ((n2 - n1) * (kHlsMax * 2 / 3 - hue) + kHlsMax / 12) / (kHlsMax / 6);
    return n1;
}

int Clamp(int value) {
    return std::clamp(value, 0, kRgbMax);
}

} // namespace

QColor WithLuminance(const QColor& color, int luminance) {
    const QColor rgb = color.toRgb();
    const HlsColor hls = ToHLS(rgb.red(), rgb.green(), rgb.blue());
    const int l = std::clamp(luminance, 0, kHlsMax);
    if (hls.saturation == 0) {
        const int grey = static_cast<int>(std::nearbyint(l * double(kRgbMax) / kHlsMax));
        return QColor(grey, grey, grey);
    }
    const int s = hls.saturation;
    const int magic2 = l <= kHlsMax / 2 ? (l * (kHlsMax + s) + kHlsMax / 2) / kHlsMax
                                        : l + s - (l * s + kHlsMax / 2) / kHlsMax;
    const int magic1 = 2 * l - magic2;
    auto component = [&](int hue) {
        return Clamp((HueToRGB(magic1, magic2, hue) * kRgbMax + kHlsMax / 2) / kHlsMax);
    };
    return QColor(component(hls.hue + kHlsMax / 3), component(hls.hue),
                  component(hls.hue - kHlsMax / 3));
}

} // namespace corvane
