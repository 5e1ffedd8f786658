// The message dialog's arithmetic, from text metrics to geometry. Pure, so that it is tested
// without a screen; the builder feeds it what QFontMetrics measured in the dialog's font.
#pragma once

#include <vector>

namespace corvane {

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0 or the result
// does not fit.
int MulDiv(int a, int b, int c);

struct LayoutRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

// What the layout is computed from.
struct DialogMetrics {
    int charWidth = 0;    // average character width (MeasureAverageChar)
    int charHeight = 0;   // character height
    int textWidth = 0;    // the message's extent, wrapped at screenWidth div 2
    int textHeight = 0;   //
    int screenWidth = 0;  // the primary screen
    int screenHeight = 0; //
    bool hasIcon = false;
    int buttonCount = 0;
    int widestCaption = 0; // the largest captionWidthCache entry of the buttons in the set
    int frameWidth = 4;    // outer minus client extent (the 2-pixel inner border)
    int frameHeight = 4;
    bool rightToLeft = false;
};

// Where everything goes; rectangles are in client coordinates unless said otherwise.
struct DialogGeometry {
    int horzMargin = 0;    // HM
    int vertMargin = 0;    // VM
    int vertSpacing = 0;   // VS
    int buttonWidth = 0;   // BW, after the captions widened it
    int buttonHeight = 0;  // BH
    int buttonSpacing = 0; // BS
    int iconWidth = 0;     // IW
    int textBlockWidth = 0;
    int textBlockHeight = 0;
    int buttonRowWidth = 0;
    LayoutRect icon;    // empty without an icon
    int titleTop = 0;   // the title line spans the client width
    LayoutRect message; //
    bool messageScrolls = false;
    int clientWidth = 0;
    int clientHeight = 0;
    int left = 0; // the outer top-left corner, relative to the screen's, centred
    int top = 0;
    LayoutRect buttonPanel;          // the bottom strip
    std::vector<LayoutRect> buttons; // within the strip, left to right
};

DialogGeometry LayoutMessageForm(const DialogMetrics& metrics);

} // namespace corvane
