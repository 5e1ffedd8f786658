#include "dialogs/MessageDialogColors.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

// The 0 to 240 scale of hue, luminance and saturation that the dialog's colours are given in.
constexpr int HLSMAX = 240;
constexpr int RGBMAX = 255;

struct THLS {
    int Hue;
    int Luminance;
    int Saturation;
};

THLS ToHLS(int R, int G, int B) {
    const int LMax = std::max({R, G, B});
    const int LMin = std::min({R, G, B});
    THLS LResult{HLSMAX * 2 / 3, ((LMax + LMin) * HLSMAX + RGBMAX) / (2 * RGBMAX), 0};
    if (LMax == LMin)
        return LResult;
    const int LDelta = LMax - LMin;
    if (LResult.Luminance <= HLSMAX / 2)
        LResult.Saturation = (LDelta * HLSMAX + (LMax + LMin) / 2) / (LMax + LMin);
    else
        LResult.Saturation =
            (LDelta * HLSMAX + (2 * RGBMAX - LMax - LMin) / 2) / (2 * RGBMAX - LMax - LMin);
    const int RDelta = ((LMax - R) * (HLSMAX / 6) + LDelta / 2) / LDelta;
    const int GDelta = ((LMax - G) * (HLSMAX / 6) + LDelta / 2) / LDelta;
    const int BDelta = ((LMax - B) * (HLSMAX / 6) + LDelta / 2) / LDelta;
    int LHue;
    if (R == LMax)
        LHue = BDelta - GDelta;
    else if (G == LMax)
        LHue = HLSMAX / 3 + RDelta - BDelta;
    else
        LHue = 2 * HLSMAX / 3 + GDelta - RDelta;
    if (LHue < 0)
        LHue += HLSMAX;
    if (LHue > HLSMAX)
        LHue -= HLSMAX;
    LResult.Hue = LHue;
    return LResult;
}

int HueToRGB(int n1, int n2, int AHue) {
    if (AHue < 0)
        AHue += HLSMAX;
    if (AHue > HLSMAX)
        AHue -= HLSMAX;
    if (AHue < HLSMAX / 6)
        return n1 + ((n2 - n1) * AHue + HLSMAX / 12) / (HLSMAX / 6);
    if (AHue < HLSMAX / 2)
        return n2;
    if (AHue < HLSMAX * 2 / 3)
        return n1 + ((n2 - n1) * (HLSMAX * 2 / 3 - AHue) + HLSMAX / 12) / (HLSMAX / 6);
    return n1;
}

int Clamp(int AValue) {
    return std::clamp(AValue, 0, RGBMAX);
}

} // namespace

QColor WithLuminance(const QColor& AColor, int ALuminance) {
    const QColor LRgb = AColor.toRgb();
    const THLS LHls = ToHLS(LRgb.red(), LRgb.green(), LRgb.blue());
    const int L = std::clamp(ALuminance, 0, HLSMAX);
    if (LHls.Saturation == 0) {
        const int LGrey = static_cast<int>(std::nearbyint(L * double(RGBMAX) / HLSMAX));
        return QColor(LGrey, LGrey, LGrey);
    }
    const int S = LHls.Saturation;
    const int LMagic2 = L <= HLSMAX / 2 ? (L * (HLSMAX + S) + HLSMAX / 2) / HLSMAX
                                        : L + S - (L * S + HLSMAX / 2) / HLSMAX;
    const int LMagic1 = 2 * L - LMagic2;
    auto LComponent = [&](int AHue) {
        return Clamp((HueToRGB(LMagic1, LMagic2, AHue) * RGBMAX + HLSMAX / 2) / HLSMAX);
    };
    return QColor(LComponent(LHls.Hue + HLSMAX / 3), LComponent(LHls.Hue),
                  LComponent(LHls.Hue - HLSMAX / 3));
}

} // namespace corvane
