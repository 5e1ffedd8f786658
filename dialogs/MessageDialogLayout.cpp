#include "dialogs/MessageDialogLayout.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace corvane {

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t divisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const std::int64_t magnitude = ((product < 0 ? -product : product) + divisor / 2) / divisor;
    const std::int64_t result = (product < 0) != (c < 0) ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}

DialogGeometry LayoutMessageForm(const DialogMetrics& metrics) {
    const int x = metrics.charWidth;
    const int y = metrics.charHeight;
    const int halfScreenHeight = metrics.screenHeight / 2;
    DialogGeometry g;
    g.horzMargin = MulDiv(8, x, 4);
    g.vertMargin = MulDiv(8, y, 8);
    g.vertSpacing = MulDiv(10, y, 8);
    g.buttonWidth = std::max(MulDiv(50, x, 4), metrics.widestCaption);
    g.buttonHeight = MulDiv(14, y, 8);
    g.buttonSpacing = MulDiv(4, x, 4);
    const int hm = g.horzMargin;
    const int vm = g.vertMargin;
    const int vs = g.vertSpacing;

    // The text block: the message beside the icon column, at most half the screen high.
    g.iconWidth = metrics.hasIcon ? 32 : 0;
    int textBlockWidth = 2 * hm + metrics.textWidth;
    if (metrics.hasIcon)
        textBlockWidth += 32 + vs;
    g.textBlockHeight =
        std::min(std::min(metrics.textHeight, halfScreenHeight) + 32 + vm, halfScreenHeight);

    const int n = metrics.buttonCount;
    g.buttonRowWidth = n > 0 ? n * g.buttonWidth + (n - 1) * g.buttonSpacing : 0;

    if (metrics.hasIcon)
        g.icon = {hm, vm / 2, 32, 32};
    g.titleTop = vm - 12 / 2;

    // The frame allowance, the 350-pixel minimum and the message area; it scrolls when the
    // message is taller than the text block leaves room for.
    g.textBlockWidth = std::max(350, textBlockWidth + metrics.frameWidth + 2);
    const int messageWidth = std::max(metrics.textWidth + metrics.frameWidth + 2, g.textBlockWidth);
    const int neededHeight = metrics.textHeight + metrics.frameHeight + 2;
    const int messageHeight = std::min(neededHeight, g.textBlockHeight - 2 * vm);
    g.messageScrolls = neededHeight > messageHeight;

    g.clientWidth = std::max(g.textBlockWidth, g.buttonRowWidth) + hm / 2;
    g.clientHeight = g.textBlockHeight + g.buttonHeight + vs + 2 * vm;

    g.message = {g.iconWidth + hm, vm + 32, messageWidth - g.iconWidth - hm, messageHeight};
    if (metrics.rightToLeft)
        g.message.left = g.clientWidth - (g.iconWidth + hm) - g.message.width;

    const int outerWidth = g.clientWidth + metrics.frameWidth;
    const int outerHeight = g.clientHeight + metrics.frameHeight;
    g.left = metrics.screenWidth / 2 - outerWidth / 2;
    g.top = metrics.screenHeight / 2 - outerHeight / 2;

    const int panelHeight = g.clientHeight - g.textBlockHeight - vm;
    g.buttonPanel = {0, g.clientHeight - panelHeight, g.clientWidth, panelHeight};

    int left = (g.clientWidth - g.buttonRowWidth) / 2;
    for (int i = 0; i < n; ++i) {
        g.buttons.push_back({left, vs, g.buttonWidth, g.buttonHeight});
        left += g.buttonWidth + g.buttonSpacing;
    }
    return g;
}

} // namespace corvane
