// The message dialog's types: the dialog type, its buttons and the results a dialog ends with.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include <QString>

namespace corvane {

// The kind of message; it fixes the dialog's caption and icon.
enum TMsgDlgType : int { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// The buttons, in their left-to-right order on screen.
enum class TDialogButton : int {
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
inline constexpr int DialogButtonCount = 12;

// A set of buttons held in 16 bits, bit n standing for the n-th button ({OK} is 4,
// {Yes, No} is 3).
class TDialogButtons {
public:
    constexpr TDialogButtons() = default;
    constexpr TDialogButtons(std::initializer_list<TDialogButton> AButtons) {
        for (TDialogButton LButton : AButtons)
            FBits |= Bit(LButton);
    }
    static constexpr TDialogButtons FromBits(std::uint16_t ABits) {
        TDialogButtons LSet;
        LSet.FBits = ABits & AllBits;
        return LSet;
    }

    constexpr std::uint16_t Bits() const { return FBits; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool Contains(TDialogButton AButton) const { return (FBits & Bit(AButton)) != 0; }
    constexpr int Count() const {
        int LCount = 0;
        for (std::uint16_t LBits = FBits; LBits != 0; LBits &= LBits - 1)
            ++LCount;
        return LCount;
    }
    friend constexpr bool operator==(TDialogButtons, TDialogButtons) = default;

private:
    static constexpr std::uint16_t AllBits = (1u << DialogButtonCount) - 1;
    static constexpr std::uint16_t Bit(TDialogButton AButton) {
        return static_cast<std::uint16_t>(1u << static_cast<int>(AButton));
    }
    std::uint16_t FBits = 0;
};

// The results a modal dialog ends with.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2; // the window's close command
inline constexpr int mrAbort = 3;  // also the Cancel button's result
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 12;
inline constexpr int mrNoToAll = 13;
inline constexpr int mrYesToAll = 14;

// The stock picture a button shows beside its caption.
enum class TBitBtnKind : int {
    bkNone,
    bkOK,
    bkCancel,
    bkYes,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll,
    bkHelp
};

// One row of the button table.
struct TDialogButtonInfo {
    const char* ComponentName;
    const char* Caption; // UTF-8; "&" marks the access key
    int ModalResult;     // 0: pressing the button leaves the dialog open
    TBitBtnKind Kind;
};

// The button table, indexed by TDialogButton.
const TDialogButtonInfo& DialogButtonInfo(TDialogButton AButton);

// Each button's caption width in the dialog's font plus 8 pixels, 0 until first measured. Filled
// by the builder over the life of the process and never cleared; main thread only.
extern std::array<int, DialogButtonCount> CaptionWidthCache;

// The caption (and title line) of a dialog of the given type.
QString DialogCaption(TMsgDlgType ADlgType);

} // namespace corvane
