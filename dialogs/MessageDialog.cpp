#include "dialogs/MessageDialog.h"

#include "platform/Errors.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>

namespace corvane {

int ShowDialogModal(std::unique_ptr<MessageDialogWindow> dialog, int helpCtx, int x, int y,
                    const QString& helpFileName) {
    if (!dialog)
        throw ArgumentException("ShowDialogModal: no dialog to show");
    dialog->SetHelpContext(helpCtx);
    dialog->SetHelpFile(helpFileName);
    QPoint position = dialog->pos();
    if (x < 0 && y < 0) {
        // Centred on the screen as it is now.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect screenRect = screen->geometry();
            position = QPoint(screenRect.x() + screenRect.width() / 2 - dialog->width() / 2,
                              screenRect.y() + screenRect.height() / 2 - dialog->height() / 2);
        }
    }
    if (x >= 0)
        position.setX(x);
    if (y >= 0)
        position.setY(y);
    dialog->move(position);
    // Owned by the window that is active now: the window system keeps the dialog above it.
    if (QWidget* active = QApplication::activeWindow(); active != nullptr) {
        dialog->winId();
        if (QWindow* owner = active->windowHandle())
            dialog->windowHandle()->setTransientParent(owner);
    }
    return dialog->exec();
}

int MessageAt(const QString& message, DialogType dlgType, DialogButtons buttons, int helpCtx, int x,
              int y, const QString& helpFileName) {
    return ShowDialogModal(BuildMessageForm(message, dlgType, buttons), helpCtx, x, y,
                           helpFileName);
}

int ShowNoticeAt(const QString& message, int x, int y) {
    return MessageAt(message, Custom, {DialogButton::OK}, 0, x, y, QString());
}

int ShowNotice(const QString& message) {
    return ShowNoticeAt(message, -1, -1);
}

} // namespace corvane
