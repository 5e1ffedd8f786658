#include "dialogs/MessageDialogWindow.h"

#include "dialogs/Clipboard.h"
#include "dialogs/MessageDialogHost.h"
#include "dialogs/MessageDialogText.h"
#include "platform/ErrorReport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QWindow>

#include <exception>

namespace corvane {

namespace {

const QColor FormColor(245, 245, 245);

// The ruler lines of the plain-text copy.
const QString Dashes = QString(27, u'-') + QStringLiteral("\r\n");
const QString CRLF = QStringLiteral("\r\n");

} // namespace

TMessageForm::TMessageForm(QWidget* AOwner, int /*Dummy*/)
    : QDialog(AOwner, Qt::Dialog | Qt::FramelessWindowHint) {
    setFont(QFont(QStringLiteral("Segoe UI"), 12));
    // The dialog paints its own fixed colours, whatever the desktop's theme.
    QPalette LPalette = palette();
    LPalette.setColor(QPalette::Window, FormColor);
    LPalette.setColor(QPalette::WindowText, Qt::black);
    LPalette.setColor(QPalette::Text, Qt::black);
    LPalette.setColor(QPalette::ButtonText, Qt::black);
    LPalette.setColor(QPalette::Button, QColor(236, 236, 236));
    LPalette.setColor(QPalette::Base, Qt::white);
    setPalette(LPalette);
    setAutoFillBackground(true);
    setWindowOpacity(245.0 / 255.0);
    setLayoutDirection(QApplication::layoutDirection());
}

TMessageForm::~TMessageForm() = default;

QRect TMessageForm::ClientRect() const {
    return rect().adjusted(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
}

void TMessageForm::reject() {
    done(mrCancel);
}

void TMessageForm::InstallKeyPreview() {
    installEventFilter(this);
    for (QWidget* LChild : findChildren<QWidget*>())
        LChild->installEventFilter(this);
}

bool TMessageForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AEvent->type() == QEvent::KeyPress) {
        // A key the focused control leaves unhandled travels on to its parents and reaches this
        // filter again; preview it once, where it arrives first.
        QWidget* LFocus = QApplication::focusWidget();
        QObject* LFirst = (LFocus != nullptr && LFocus->window() == this) ? LFocus : this;
        if (AWatched == LFirst)
            DialogKeyDown(static_cast<QKeyEvent*>(AEvent));
    }
    return QDialog::eventFilter(AWatched, AEvent);
}

void TMessageForm::DialogKeyDown(QKeyEvent* AEvent) {
    const Qt::KeyboardModifiers LModifiers = AEvent->modifiers() & ~Qt::KeypadModifier;
    if (AEvent->key() != Qt::Key_C || LModifiers != Qt::ControlModifier)
        return;
    try {
        QApplication::beep();
        CopyTextToClipboard(GetDialogText());
    } catch (...) {
        // To the application's default error report; the dialog stays open.
        HandleException(std::current_exception());
    }
}

QString TMessageForm::GetDialogText() const {
    QString LButtons;
    for (const QPushButton* LButton :
         ButtonPanel->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
        LButtons += LButton->text() + QStringLiteral("   ");
    LButtons.remove(u'&');
    QString LLines;
    for (const QString& LLine : Message->Lines())
        LLines += LLine + CRLF;
    return Dashes + windowTitle() + CRLF + Dashes + LLines + CRLF + Dashes + LButtons + CRLF +
           Dashes;
}

void TMessageForm::CopyTextToClipboard(const QString& AText) {
    WriteClipboardText(AText);
}

void TMessageForm::HelpButtonPressed() {
    try {
        ShowDialogHelp(FHelpContext, FHelpFile);
    } catch (...) {
        // To the application's default error report; the dialog stays open.
        HandleException(std::current_exception());
    }
}

bool TMessageForm::PressAccessKey(QKeyEvent* AEvent) {
    // As in any dialog, a button's access key works without Alt while a button has the focus.
    if (AEvent->text().size() != 1 ||
        qobject_cast<QPushButton*>(QApplication::focusWidget()) == nullptr)
        return false;
    const QChar LKey = AEvent->text().at(0).toUpper();
    for (QPushButton* LButton :
         ButtonPanel->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        const QString LCaption = LButton->text();
        const qsizetype LMark = LCaption.indexOf(u'&');
        if (LMark >= 0 && LMark + 1 < LCaption.size() && LCaption.at(LMark + 1).toUpper() == LKey) {
            LButton->setFocus(Qt::ShortcutFocusReason);
            LButton->click();
            return true;
        }
    }
    return false;
}

void TMessageForm::keyPressEvent(QKeyEvent* AEvent) {
    const Qt::KeyboardModifiers LModifiers = AEvent->modifiers() & ~Qt::KeypadModifier;
    if (AEvent->key() == Qt::Key_Escape && LModifiers == Qt::NoModifier) {
        // Escape presses the cancel button; without one it does nothing (it does not close).
        if (FCancelButton != nullptr)
            FCancelButton->click();
        AEvent->accept();
        return;
    }
    if (LModifiers == Qt::NoModifier && PressAccessKey(AEvent)) {
        AEvent->accept();
        return;
    }
    QDialog::keyPressEvent(AEvent);
}

void TMessageForm::DialogMouseDown(QMouseEvent* AEvent) {
    if (QWidget* LGrabber = QWidget::mouseGrabber())
        LGrabber->releaseMouse();
    FDragOffset.reset();
    if (windowHandle() != nullptr && windowHandle()->startSystemMove())
        return;
    // No window manager takes the move over: follow the mouse ourselves.
    FDragOffset = AEvent->globalPosition().toPoint() - pos();
    AEvent->accept();
}

void TMessageForm::mousePressEvent(QMouseEvent* AEvent) {
    DialogMouseDown(AEvent);
}

void TMessageForm::mouseMoveEvent(QMouseEvent* AEvent) {
    if (FDragOffset && AEvent->buttons() != Qt::NoButton)
        move(AEvent->globalPosition().toPoint() - *FDragOffset);
}

void TMessageForm::mouseReleaseEvent(QMouseEvent* /*AEvent*/) {
    FDragOffset.reset();
}

void TMessageForm::showEvent(QShowEvent* AEvent) {
    QDialog::showEvent(AEvent);
    // The dialog asks for the keyboard itself: a frameless window, or a session without a window
    // manager, may otherwise leave it to the window that had it, and the keys would go nowhere.
    activateWindow();
}

void TMessageForm::paintEvent(QPaintEvent* /*AEvent*/) {
    // The inner border carries the window's edge: a darker outer line and a softer inner one,
    // so that the frameless dialog stands out from whatever lies behind it.
    QPainter LPainter(this);
    const QRect LOuter = rect();
    LPainter.setPen(QColor(150, 150, 150));
    LPainter.drawRect(LOuter.adjusted(0, 0, -1, -1));
    LPainter.setPen(QColor(205, 205, 205));
    LPainter.drawRect(LOuter.adjusted(1, 1, -2, -2));
}

} // namespace corvane
