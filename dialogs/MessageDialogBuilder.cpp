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

// Fills a MessageDialogWindow; it reaches the form's private parts.
class MessageDialogFiller {
public:
    static std::unique_ptr<MessageDialogWindow> Build(const QString& message, DialogType dlgType,
                                                      DialogButtons buttons,
                                                      DialogButton defaultButton);
};

namespace {

constexpr DialogButton kAllButtons[] = {
    DialogButton::Yes,     DialogButton::No,       DialogButton::OK,     DialogButton::Cancel,
    DialogButton::Abort,   DialogButton::Retry,    DialogButton::Ignore, DialogButton::All,
    DialogButton::NoToAll, DialogButton::YesToAll, DialogButton::Help,   DialogButton::Close};

// "Segoe UI Black" where it is installed; elsewhere the fallback of "Segoe UI" in its heaviest
// weight, so that the title keeps standing out from the message.
QFont TitleFont() {
    QFont font(QStringLiteral("Segoe UI Black"), 12);
    font.setWeight(QFont::Normal);
    if (QFontInfo(font).family() == font.family())
        return font;
    font = QFont(QStringLiteral("Segoe UI"), 12);
    font.setWeight(QFont::Black);
    return font;
}

QRect ToRect(const LayoutRect& rect, QPoint origin) {
    return QRect(origin.x() + rect.left, origin.y() + rect.top, rect.width, rect.height);
}

} // namespace

std::unique_ptr<MessageDialogWindow> MessageDialogFiller::Build(const QString& message,
                                                                DialogType dlgType,
                                                                DialogButtons buttons,
                                                                DialogButton defaultButton) {
    if (buttons.Empty()) {
        buttons = dlgType == Confirmation ? DialogButtons{DialogButton::Yes, DialogButton::No}
                                          : DialogButtons{DialogButton::OK};
    }
    auto form = std::make_unique<MessageDialogWindow>(nullptr, 0);
    form->dlgType_ = dlgType;
    const QFont font = form->font();
    const QFontMetrics metrics(font);
    const QSize charValue = MeasureAverageChar(metrics);

    // Each caption is measured once per process: every dialog has the same font.
    int widestCaption = 0;
    for (DialogButton button : kAllButtons) {
        if (!buttons.Contains(button))
            continue;
        int& cached = captionWidthCache[static_cast<std::size_t>(button)];
        if (cached == 0)
            cached =
                MeasureCaption(metrics, QString::fromUtf8(DialogButtonInfo(button).caption)) + 8;
        widestCaption = std::max(widestCaption, cached);
    }

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen != nullptr ? screen->geometry() : QRect(0, 0, 800, 600);
    const Qt::LayoutDirection direction = form->layoutDirection();
    const QTextOption textOption = MessageTextOption(charValue.width(), direction);
    const QSize text = MeasureMessage(font, message, screenRect.width() / 2, textOption);
    const bool hasIcon = dlgType != Custom;

    DialogMetrics input;
    input.charWidth = charValue.width();
    input.charHeight = charValue.height();
    input.textWidth = text.width();
    input.textHeight = text.height();
    input.screenWidth = screenRect.width();
    input.screenHeight = screenRect.height();
    input.hasIcon = hasIcon;
    input.buttonCount = buttons.Count();
    input.widestCaption = widestCaption;
    input.frameWidth = 2 * MessageDialogWindow::kBorderWidth;
    input.frameHeight = 2 * MessageDialogWindow::kBorderWidth;
    input.rightToLeft = direction == Qt::RightToLeft;
    const DialogGeometry g = LayoutMessageForm(input);
    const QPoint client(MessageDialogWindow::kBorderWidth, MessageDialogWindow::kBorderWidth);

    form->setWindowTitle(DialogCaption(dlgType));

    if (hasIcon) {
        auto* image = new QLabel(form.get());
        image->setObjectName(QStringLiteral("Image"));
        image->setAttribute(Qt::WA_NoMousePropagation);
        image->setPixmap(DialogTypeIcon(dlgType, form->style())
                             .pixmap(QSize(32, 32), form->devicePixelRatioF()));
        image->setGeometry(ToRect(g.icon, client));
    }

    auto* title = new QLabel(form.get());
    title->setObjectName(QStringLiteral("Title"));
    title->setFont(TitleFont());
    title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    title->setText(form->windowTitle());
    title->setTextFormat(Qt::PlainText);
    title->setGeometry(client.x(), client.y() + g.titleTop, g.clientWidth,
                       QFontMetrics(title->font()).height());
    form->title_ = title;

    auto* memo = new MessageDialogText(form.get());
    memo->setObjectName(QStringLiteral("Message"));
    memo->setFont(font);
    memo->document()->setDefaultTextOption(textOption);
    memo->setWordWrapMode(textOption.wrapMode());
    memo->setTabStopDistance(textOption.tabStopDistance());
    memo->SetText(message);
    memo->setGeometry(ToRect(g.message, client));
    if (g.messageScrolls)
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    form->message_ = memo;

    form->setFixedSize(g.clientWidth + input.frameWidth, g.clientHeight + input.frameHeight);
    form->move(screenRect.x() + g.left, screenRect.y() + g.top);

    const DialogButton cancelButton = buttons.Contains(DialogButton::Cancel) ? DialogButton::Cancel
                                      : buttons.Contains(DialogButton::No)   ? DialogButton::No
                                                                             : DialogButton::OK;

    auto* panel = new QWidget(form.get());
    panel->setObjectName(QStringLiteral("ButtonPanel"));
    panel->setAttribute(Qt::WA_NoMousePropagation);
    panel->setAutoFillBackground(true);
    QPalette panelPalette = panel->palette();
    panelPalette.setColor(QPalette::Window, WithLuminance(QColor(245, 245, 245), 200));
    panel->setPalette(panelPalette);
    panel->setGeometry(ToRect(g.buttonPanel, client));
    form->buttonPanel_ = panel;

    const QFont buttonFont(QStringLiteral("Segoe UI"), 10);
    MessageDialogWindow* dialog = form.get();
    std::size_t index = 0;
    for (DialogButton button : kAllButtons) {
        if (!buttons.Contains(button))
            continue;
        if (!buttons.Contains(defaultButton))
            defaultButton = button;
        const ButtonTableRow& info = DialogButtonInfo(button);
        auto* push = new QPushButton(panel);
        push->setObjectName(QString::fromUtf8(info.componentName));
        push->setText(QString::fromUtf8(info.caption));
        push->setIcon(ButtonPicture(info.kind));
        push->setIconSize(QSize(16, 16));
        push->setFont(buttonFont);
        push->setAutoDefault(true);
        if (button == defaultButton) {
            push->setDefault(true);
            push->setFocus(Qt::OtherFocusReason);
        }
        if (button == cancelButton)
            dialog->cancelButton_ = push;
        push->setGeometry(ToRect(g.buttons.at(index++), QPoint(0, 0)));
        if (button == DialogButton::Help)
            QObject::connect(push, &QPushButton::clicked, dialog,
                             [dialog] { dialog->HelpButtonPressed(); });
        if (const int result = info.modalResult; result != kModalResultNone)
            QObject::connect(push, &QPushButton::clicked, dialog,
                             [dialog, result] { dialog->done(result); });
    }

    dialog->InstallKeyPreview();
    return form;
}

std::unique_ptr<MessageDialogWindow> BuildMessageForm(const QString& message, DialogType dlgType,
                                                      DialogButtons buttons,
                                                      DialogButton defaultButton) {
    return MessageDialogFiller::Build(message, dlgType, buttons, defaultButton);
}

std::unique_ptr<MessageDialogWindow> BuildMessageForm(const QString& message, DialogType dlgType,
                                                      DialogButtons buttons) {
    const DialogButton defaultValue = buttons.Contains(DialogButton::OK)    ? DialogButton::OK
                                      : buttons.Contains(DialogButton::Yes) ? DialogButton::Yes
                                                                            : DialogButton::Retry;
    return BuildMessageForm(message, dlgType, buttons, defaultValue);
}

} // namespace corvane
