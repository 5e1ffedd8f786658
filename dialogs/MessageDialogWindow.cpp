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

const QColor kFormColor(245, 245, 245);

// The ruler lines of the plain-text copy.
const QString kDashes = QString(27, u'-') + QStringLiteral("\r\n");
const QString kCrLf = QStringLiteral("\r\n");

} // namespace

MessageDialogWindow::MessageDialogWindow(QWidget* owner, int /*Dummy*/)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setFont(QFont(QStringLiteral("Segoe UI"), 12));
    // The dialog paints its own fixed colours, whatever the desktop's theme.
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, kFormColor);
    windowPalette.setColor(QPalette::WindowText, Qt::black);
    windowPalette.setColor(QPalette::Text, Qt::black);
    windowPalette.setColor(QPalette::ButtonText, Qt::black);
    windowPalette.setColor(QPalette::Button, QColor(236, 236, 236));
    windowPalette.setColor(QPalette::Base, Qt::white);
    setPalette(windowPalette);
    setAutoFillBackground(true);
    setWindowOpacity(245.0 / 255.0);
    setLayoutDirection(QApplication::layoutDirection());
}

MessageDialogWindow::~MessageDialogWindow() = default;

QRect MessageDialogWindow::ClientRect() const {
    return rect().adjusted(kBorderWidth, kBorderWidth, -kBorderWidth, -kBorderWidth);
}

void MessageDialogWindow::reject() {
    done(kModalResultCancel);
}

void MessageDialogWindow::InstallKeyPreview() {
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool MessageDialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // A key the focused control leaves unhandled travels on to its parents and reaches this
        // filter again; preview it once, where it arrives first.
        QWidget* focus = QApplication::focusWidget();
        QObject* first = (focus != nullptr && focus->window() == this) ? focus : this;
        if (watched == first)
            DialogKeyDown(static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

void MessageDialogWindow::DialogKeyDown(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() != Qt::Key_C || modifiers != Qt::ControlModifier)
        return;
    try {
        QApplication::beep();
        CopyTextToClipboard(GetDialogText());
    } catch (...) {
        // To the application's default error report; the dialog stays open.
        HandleException(std::current_exception());
    }
}

QString MessageDialogWindow::GetDialogText() const {
    QString buttons;
    for (const QPushButton* button :
         buttonPanel_->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
        buttons += button->text() + QStringLiteral("   ");
    buttons.remove(u'&');
    QString lines;
    for (const QString& line : message_->Lines())
        lines += line + kCrLf;
    return kDashes + windowTitle() + kCrLf + kDashes + lines + kCrLf + kDashes + buttons + kCrLf +
           kDashes;
}

void MessageDialogWindow::CopyTextToClipboard(const QString& text) {
    WriteClipboardText(text);
}

void MessageDialogWindow::HelpButtonPressed() {
    try {
        ShowDialogHelp(helpContext_, helpFile_);
    } catch (...) {
        // To the application's default error report; the dialog stays open.
        HandleException(std::current_exception());
    }
}

bool MessageDialogWindow::PressAccessKey(QKeyEvent* event) {
    // As in any dialog, a button's access key works without Alt while a button has the focus.
    if (event->text().size() != 1 ||
        qobject_cast<QPushButton*>(QApplication::focusWidget()) == nullptr)
        return false;
    const QChar key = event->text().at(0).toUpper();
    for (QPushButton* button :
         buttonPanel_->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        const QString caption = button->text();
        const qsizetype mark = caption.indexOf(u'&');
        if (mark >= 0 && mark + 1 < caption.size() && caption.at(mark + 1).toUpper() == key) {
            button->setFocus(Qt::ShortcutFocusReason);
            button->click();
            return true;
        }
    }
    return false;
}

void MessageDialogWindow::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        // Escape presses the cancel button; without one it does nothing (it does not close).
        if (cancelButton_ != nullptr)
            cancelButton_->click();
        event->accept();
        return;
    }
    if (modifiers == Qt::NoModifier && PressAccessKey(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MessageDialogWindow::DialogMouseDown(QMouseEvent* event) {
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    dragOffset_.reset();
    if (windowHandle() != nullptr && windowHandle()->startSystemMove())
        return;
    // No window manager takes the move over: follow the mouse ourselves.
    dragOffset_ = event->globalPosition().toPoint() - pos();
    event->accept();
}

void MessageDialogWindow::mousePressEvent(QMouseEvent* event) {
    DialogMouseDown(event);
}

void MessageDialogWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && event->buttons() != Qt::NoButton)
        move(event->globalPosition().toPoint() - *dragOffset_);
}

void MessageDialogWindow::mouseReleaseEvent(QMouseEvent* /*event*/) {
    dragOffset_.reset();
}

void MessageDialogWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The dialog asks for the keyboard itself: a frameless window, or a session without a window
    // manager, may otherwise leave it to the window that had it, and the keys would go nowhere.
    activateWindow();
}

void MessageDialogWindow::paintEvent(QPaintEvent* /*event*/) {
    // The inner border carries the window's edge: a darker outer line and a softer inner one,
    // so that the frameless dialog stands out from whatever lies behind it.
    QPainter painter(this);
    const QRect outer = rect();
    painter.setPen(QColor(150, 150, 150));
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    painter.setPen(QColor(205, 205, 205));
    painter.drawRect(outer.adjusted(1, 1, -2, -2));
}

} // namespace corvane
