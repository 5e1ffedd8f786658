#include "dialogs/MessageDialog.h"

#include "dialogs/MessageDialogColors.h"
#include "dialogs/MessageDialogLayout.h"
#include "dialogs/MessageDialogMetrics.h"
#include "dialogs/MessageDialogPictures.h"
#include "dialogs/MessageDialogText.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>

#include <algorithm>

namespace corvane {

// Fills a TMessageForm; it reaches the form's private parts.
class TMessageFormBuilder {
public:
    static std::unique_ptr<TMessageForm> Build(const QString& AMessage, TMsgDlgType ADlgType,
                                               TDialogButtons AButtons,
                                               TDialogButton ADefaultButton);
};

namespace {

constexpr TDialogButton AllButtons[] = {
    TDialogButton::Yes,     TDialogButton::No,       TDialogButton::OK,     TDialogButton::Cancel,
    TDialogButton::Abort,   TDialogButton::Retry,    TDialogButton::Ignore, TDialogButton::All,
    TDialogButton::NoToAll, TDialogButton::YesToAll, TDialogButton::Help,   TDialogButton::Close};

// "Segoe UI Black" where it is installed; elsewhere the fallback of "Segoe UI" in its heaviest
// weight, so that the title keeps standing out from the message.
QFont TitleFont() {
    QFont LFont(QStringLiteral("Segoe UI Black"), 12);
    LFont.setWeight(QFont::Normal);
    if (QFontInfo(LFont).family() == LFont.family())
        return LFont;
    LFont = QFont(QStringLiteral("Segoe UI"), 12);
    LFont.setWeight(QFont::Black);
    return LFont;
}

QRect ToRect(const TLayoutRect& ARect, QPoint AOrigin) {
    return QRect(AOrigin.x() + ARect.Left, AOrigin.y() + ARect.Top, ARect.Width, ARect.Height);
}

} // namespace

std::unique_ptr<TMessageForm> TMessageFormBuilder::Build(const QString& AMessage,
                                                         TMsgDlgType ADlgType,
                                                         TDialogButtons AButtons,
                                                         TDialogButton ADefaultButton) {
    if (AButtons.Empty()) {
        AButtons = ADlgType == mtConfirmation
                       ? TDialogButtons{TDialogButton::Yes, TDialogButton::No}
                       : TDialogButtons{TDialogButton::OK};
    }
    auto LForm = std::make_unique<TMessageForm>(nullptr, 0);
    LForm->DlgType = ADlgType;
    const QFont LFont = LForm->font();
    const QFontMetrics LMetrics(LFont);
    const QSize LChar = MeasureAverageChar(LMetrics);

    // Each caption is measured once per process: every dialog has the same font.
    int LWidestCaption = 0;
    for (TDialogButton LButton : AllButtons) {
        if (!AButtons.Contains(LButton))
            continue;
        int& LCached = CaptionWidthCache[static_cast<std::size_t>(LButton)];
        if (LCached == 0)
            LCached =
                MeasureCaption(LMetrics, QString::fromUtf8(DialogButtonInfo(LButton).Caption)) + 8;
        LWidestCaption = std::max(LWidestCaption, LCached);
    }

    const QScreen* LScreen = QGuiApplication::primaryScreen();
    const QRect LScreenRect = LScreen != nullptr ? LScreen->geometry() : QRect(0, 0, 800, 600);
    const Qt::LayoutDirection LDirection = LForm->layoutDirection();
    const QTextOption LTextOption = MessageTextOption(LChar.width(), LDirection);
    const QSize LText = MeasureMessage(LFont, AMessage, LScreenRect.width() / 2, LTextOption);
    const bool LHasIcon = ADlgType != mtCustom;

    TDialogMetrics LInput;
    LInput.CharWidth = LChar.width();
    LInput.CharHeight = LChar.height();
    LInput.TextWidth = LText.width();
    LInput.TextHeight = LText.height();
    LInput.ScreenWidth = LScreenRect.width();
    LInput.ScreenHeight = LScreenRect.height();
    LInput.HasIcon = LHasIcon;
    LInput.ButtonCount = AButtons.Count();
    LInput.WidestCaption = LWidestCaption;
    LInput.FrameWidth = 2 * TMessageForm::BorderWidth;
    LInput.FrameHeight = 2 * TMessageForm::BorderWidth;
    LInput.RightToLeft = LDirection == Qt::RightToLeft;
    const TDialogGeometry G = LayoutMessageForm(LInput);
    const QPoint LClient(TMessageForm::BorderWidth, TMessageForm::BorderWidth);

    LForm->setWindowTitle(DialogCaption(ADlgType));

    if (LHasIcon) {
        auto* LImage = new QLabel(LForm.get());
        LImage->setObjectName(QStringLiteral("Image"));
        LImage->setAttribute(Qt::WA_NoMousePropagation);
        LImage->setPixmap(DialogTypeIcon(ADlgType, LForm->style())
                              .pixmap(QSize(32, 32), LForm->devicePixelRatioF()));
        LImage->setGeometry(ToRect(G.Icon, LClient));
    }

    auto* LTitle = new QLabel(LForm.get());
    LTitle->setObjectName(QStringLiteral("Title"));
    LTitle->setFont(TitleFont());
    LTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LTitle->setText(LForm->windowTitle());
    LTitle->setTextFormat(Qt::PlainText);
    LTitle->setGeometry(LClient.x(), LClient.y() + G.TitleTop, G.ClientWidth,
                        QFontMetrics(LTitle->font()).height());
    LForm->Title = LTitle;

    auto* LMemo = new TTransparentMemo(LForm.get());
    LMemo->setObjectName(QStringLiteral("Message"));
    LMemo->setFont(LFont);
    LMemo->document()->setDefaultTextOption(LTextOption);
    LMemo->setWordWrapMode(LTextOption.wrapMode());
    LMemo->setTabStopDistance(LTextOption.tabStopDistance());
    LMemo->SetText(AMessage);
    LMemo->setGeometry(ToRect(G.Message, LClient));
    if (G.MessageScrolls)
        LMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LForm->Message = LMemo;

    LForm->setFixedSize(G.ClientWidth + LInput.FrameWidth, G.ClientHeight + LInput.FrameHeight);
    LForm->move(LScreenRect.x() + G.Left, LScreenRect.y() + G.Top);

    const TDialogButton LCancelButton = AButtons.Contains(TDialogButton::Cancel)
                                            ? TDialogButton::Cancel
                                        : AButtons.Contains(TDialogButton::No) ? TDialogButton::No
                                                                               : TDialogButton::OK;

    auto* LPanel = new QWidget(LForm.get());
    LPanel->setObjectName(QStringLiteral("ButtonPanel"));
    LPanel->setAttribute(Qt::WA_NoMousePropagation);
    LPanel->setAutoFillBackground(true);
    QPalette LPanelPalette = LPanel->palette();
    LPanelPalette.setColor(QPalette::Window, WithLuminance(QColor(245, 245, 245), 200));
    LPanel->setPalette(LPanelPalette);
    LPanel->setGeometry(ToRect(G.ButtonPanel, LClient));
    LForm->ButtonPanel = LPanel;

    const QFont LButtonFont(QStringLiteral("Segoe UI"), 10);
    TMessageForm* LDialog = LForm.get();
    std::size_t LIndex = 0;
    for (TDialogButton LButton : AllButtons) {
        if (!AButtons.Contains(LButton))
            continue;
        if (!AButtons.Contains(ADefaultButton))
            ADefaultButton = LButton;
        const TDialogButtonInfo& LInfo = DialogButtonInfo(LButton);
        auto* LPush = new QPushButton(LPanel);
        LPush->setObjectName(QString::fromUtf8(LInfo.ComponentName));
        LPush->setText(QString::fromUtf8(LInfo.Caption));
        LPush->setIcon(ButtonPicture(LInfo.Kind));
        LPush->setIconSize(QSize(16, 16));
        LPush->setFont(LButtonFont);
        LPush->setAutoDefault(true);
        if (LButton == ADefaultButton) {
            LPush->setDefault(true);
            LPush->setFocus(Qt::OtherFocusReason);
        }
        if (LButton == LCancelButton)
            LDialog->FCancelButton = LPush;
        LPush->setGeometry(ToRect(G.Buttons.at(LIndex++), QPoint(0, 0)));
        if (LButton == TDialogButton::Help)
            QObject::connect(LPush, &QPushButton::clicked, LDialog,
                             [LDialog] { LDialog->HelpButtonPressed(); });
        if (const int LResult = LInfo.ModalResult; LResult != mrNone)
            QObject::connect(LPush, &QPushButton::clicked, LDialog,
                             [LDialog, LResult] { LDialog->done(LResult); });
    }

    LDialog->InstallKeyPreview();
    return LForm;
}

std::unique_ptr<TMessageForm> BuildMessageForm(const QString& AMessage, TMsgDlgType ADlgType,
                                               TDialogButtons AButtons,
                                               TDialogButton ADefaultButton) {
    return TMessageFormBuilder::Build(AMessage, ADlgType, AButtons, ADefaultButton);
}

std::unique_ptr<TMessageForm> BuildMessageForm(const QString& AMessage, TMsgDlgType ADlgType,
                                               TDialogButtons AButtons) {
    const TDialogButton LDefault = AButtons.Contains(TDialogButton::OK)    ? TDialogButton::OK
                                   : AButtons.Contains(TDialogButton::Yes) ? TDialogButton::Yes
                                                                           : TDialogButton::Retry;
    return BuildMessageForm(AMessage, ADlgType, AButtons, LDefault);
}

} // namespace corvane
