// The message dialog's arithmetic, from text metrics to geometry. Pure, so that it is tested
// without a screen; the builder feeds it what QFontMetrics measured in the dialog's font.
#pragma once

#include <vector>

namespace corvane {

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0 or the result
// does not fit.
int MulDiv(int a, int b, int c);

struct TLayoutRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TLayoutRect&, const TLayoutRect&) = default;
};

// What the layout is computed from.
struct TDialogMetrics {
    int CharWidth = 0;    // average character width (MeasureAverageChar)
    int CharHeight = 0;   // character height
    int TextWidth = 0;    // the message's extent, wrapped at ScreenWidth div 2
    int TextHeight = 0;   //
    int ScreenWidth = 0;  // the primary screen
    int ScreenHeight = 0; //
    bool HasIcon = false;
    int ButtonCount = 0;
    int WidestCaption = 0; // the largest CaptionWidthCache entry of the buttons in the set
    int FrameWidth = 4;    // outer minus client extent (the 2-pixel inner border)
    int FrameHeight = 4;
    bool RightToLeft = false;
};

// Where everything goes; rectangles are in client coordinates unless said otherwise.
struct TDialogGeometry {
    int HorzMargin = 0;    // HM
    int VertMargin = 0;    // VM
    int VertSpacing = 0;   // VS
    int ButtonWidth = 0;   // BW, after the captions widened it
    int ButtonHeight = 0;  // BH
    int ButtonSpacing = 0; // BS
    int IconWidth = 0;     // IW
    int TextBlockWidth = 0;
    int TextBlockHeight = 0;
    int ButtonRowWidth = 0;
    TLayoutRect Icon;    // empty without an icon
    int TitleTop = 0;    // the title line spans the client width
    TLayoutRect Message; //
    bool MessageScrolls = false;
    int ClientWidth = 0;
    int ClientHeight = 0;
    int Left = 0; // the outer top-left corner, relative to the screen's, centred
    int Top = 0;
    TLayoutRect ButtonPanel;          // the bottom strip
    std::vector<TLayoutRect> Buttons; // within the strip, left to right
};

TDialogGeometry LayoutMessageForm(const TDialogMetrics& AMetrics);

} // namespace corvane
