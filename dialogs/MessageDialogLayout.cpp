#include "dialogs/MessageDialogLayout.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace corvane {

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const std::int64_t LProduct = static_cast<std::int64_t>(a) * b;
    const std::int64_t LDivisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const std::int64_t LMagnitude =
        ((LProduct < 0 ? -LProduct : LProduct) + LDivisor / 2) / LDivisor;
    const std::int64_t LResult = (LProduct < 0) != (c < 0) ? -LMagnitude : LMagnitude;
    if (LResult > std::numeric_limits<int>::max() || LResult < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(LResult);
}

TDialogGeometry LayoutMessageForm(const TDialogMetrics& AMetrics) {
    const int X = AMetrics.CharWidth;
    const int Y = AMetrics.CharHeight;
    const int LHalfScreenHeight = AMetrics.ScreenHeight / 2;
    TDialogGeometry G;
    G.HorzMargin = MulDiv(8, X, 4);
    G.VertMargin = MulDiv(8, Y, 8);
    G.VertSpacing = MulDiv(10, Y, 8);
    G.ButtonWidth = std::max(MulDiv(50, X, 4), AMetrics.WidestCaption);
    G.ButtonHeight = MulDiv(14, Y, 8);
    G.ButtonSpacing = MulDiv(4, X, 4);
    const int HM = G.HorzMargin;
    const int VM = G.VertMargin;
    const int VS = G.VertSpacing;

    // The text block: the message beside the icon column, at most half the screen high.
    G.IconWidth = AMetrics.HasIcon ? 32 : 0;
    int LTextBlockWidth = 2 * HM + AMetrics.TextWidth;
    if (AMetrics.HasIcon)
        LTextBlockWidth += 32 + VS;
    G.TextBlockHeight =
        std::min(std::min(AMetrics.TextHeight, LHalfScreenHeight) + 32 + VM, LHalfScreenHeight);

    const int n = AMetrics.ButtonCount;
    G.ButtonRowWidth = n > 0 ? n * G.ButtonWidth + (n - 1) * G.ButtonSpacing : 0;

    if (AMetrics.HasIcon)
        G.Icon = {HM, VM / 2, 32, 32};
    G.TitleTop = VM - 12 / 2;

    // The frame allowance, the 350-pixel minimum and the message area; it scrolls when the
    // message is taller than the text block leaves room for.
    G.TextBlockWidth = std::max(350, LTextBlockWidth + AMetrics.FrameWidth + 2);
    const int LMessageWidth =
        std::max(AMetrics.TextWidth + AMetrics.FrameWidth + 2, G.TextBlockWidth);
    const int LNeededHeight = AMetrics.TextHeight + AMetrics.FrameHeight + 2;
    const int LMessageHeight = std::min(LNeededHeight, G.TextBlockHeight - 2 * VM);
    G.MessageScrolls = LNeededHeight > LMessageHeight;

    G.ClientWidth = std::max(G.TextBlockWidth, G.ButtonRowWidth) + HM / 2;
    G.ClientHeight = G.TextBlockHeight + G.ButtonHeight + VS + 2 * VM;

    G.Message = {G.IconWidth + HM, VM + 32, LMessageWidth - G.IconWidth - HM, LMessageHeight};
    if (AMetrics.RightToLeft)
        G.Message.Left = G.ClientWidth - (G.IconWidth + HM) - G.Message.Width;

    const int LOuterWidth = G.ClientWidth + AMetrics.FrameWidth;
    const int LOuterHeight = G.ClientHeight + AMetrics.FrameHeight;
    G.Left = AMetrics.ScreenWidth / 2 - LOuterWidth / 2;
    G.Top = AMetrics.ScreenHeight / 2 - LOuterHeight / 2;

    const int LPanelHeight = G.ClientHeight - G.TextBlockHeight - VM;
    G.ButtonPanel = {0, G.ClientHeight - LPanelHeight, G.ClientWidth, LPanelHeight};

    int LLeft = (G.ClientWidth - G.ButtonRowWidth) / 2;
    for (int i = 0; i < n; ++i) {
        G.Buttons.push_back({LLeft, VS, G.ButtonWidth, G.ButtonHeight});
        LLeft += G.ButtonWidth + G.ButtonSpacing;
    }
    return G;
}

} // namespace corvane
