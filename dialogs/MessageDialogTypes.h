// The message dialog's types: the dialog type, its buttons and the results a dialog ends with.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include <QString>

namespace corvane {

// The kind of message; it fixes the dialog's caption and icon.
enum DialogType : int { Warning, Error, Information, Confirmation, Custom };

// The buttons, in their left-to-right order on screen.
enum class DialogButton : int {
    Yes,
    No,
    OK,
    Cancel,
    Abort,
    Retry,
    Ignore,
    All,
    NoToAll,
    YesToAll,
    Help,
    Close
};
inline constexpr int kDialogButtonCount = 12;

// A set of buttons held in 16 bits, bit n standing for the n-th button ({OK} is 4,
// {Yes, No} is 3).
class DialogButtons {
public:
    constexpr DialogButtons() = default;
    constexpr DialogButtons(std::initializer_list<DialogButton> buttons) {
        for (DialogButton button : buttons)
            bits_ |= Bit(button);
    }
    static constexpr DialogButtons FromBits(std::uint16_t bits) {
        DialogButtons set;
        set.bits_ = bits & kAllBits;
        return set;
    }

    constexpr std::uint16_t Bits() const { return bits_; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool Contains(DialogButton button) const { return (bits_ & Bit(button)) != 0; }
    constexpr int Count() const {
        int count = 0;
        for (std::uint16_t bits = bits_; bits != 0; bits &= bits - 1)
            ++count;
        return count;
    }
    friend constexpr bool operator==(DialogButtons, DialogButtons) = default;

private:
    static constexpr std::uint16_t kAllBits = (1u << kDialogButtonCount) - 1;
    static constexpr std::uint16_t Bit(DialogButton button) {
        return static_cast<std::uint16_t>(1u << static_cast<int>(button));
    }
    std::uint16_t bits_ = 0;
};

// The results a modal dialog ends with.
inline constexpr int kModalResultNone = 0;
inline constexpr int kModalResultOk = 1;
inline constexpr int kModalResultCancel = 2; // the window's close command
inline constexpr int kModalResultAbort = 3;  // also the Cancel button's result
inline constexpr int kModalResultRetry = 4;
inline constexpr int kModalResultIgnore = 5;
inline constexpr int kModalResultYes = 6;
inline constexpr int kModalResultNo = 7;
inline constexpr int kModalResultAll = 12;
inline constexpr int kModalResultNoToAll = 13;
inline constexpr int kModalResultYesToAll = 14;

// The stock picture a button shows beside its caption.
enum class ButtonGlyph : int { None, OK, Cancel, Yes, Abort, Retry, Ignore, All, Help };

// One row of the button table.
struct ButtonTableRow {
    const char* componentName;
    const char* caption; // UTF-8; "&" marks the access key
    int modalResult;     // 0: pressing the button leaves the dialog open
    ButtonGlyph kind;
};

// The button table, indexed by DialogButton.
const ButtonTableRow& DialogButtonInfo(DialogButton button);

// Each button's caption width in the dialog's font plus 8 pixels, 0 until first measured. Filled
// by the builder over the life of the process and never cleared; main thread only.
extern std::array<int, kDialogButtonCount> captionWidthCache;

// The caption (and title line) of a dialog of the given type.
QString DialogCaption(DialogType dlgType);

} // namespace corvane
