#include "dialogs/MessageDialog.h"

#include "platform/Errors.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>

namespace corvane {

int ShowDialogModal(std::unique_ptr<TMessageForm> ADialog, int AHelpCtx, int AX, int AY,
                    const QString& AHelpFileName) {
    if (!ADialog)
        throw EArgumentException("ShowDialogModal: no dialog to show");
    ADialog->SetHelpContext(AHelpCtx);
    ADialog->SetHelpFile(AHelpFileName);
    QPoint LPosition = ADialog->pos();
    if (AX < 0 && AY < 0) {
        // Centred on the screen as it is now.
        if (const QScreen* LScreen = QGuiApplication::primaryScreen()) {
            const QRect LScreenRect = LScreen->geometry();
            LPosition = QPoint(LScreenRect.x() + LScreenRect.width() / 2 - ADialog->width() / 2,
                               LScreenRect.y() + LScreenRect.height() / 2 - ADialog->height() / 2);
        }
    }
    if (AX >= 0)
        LPosition.setX(AX);
    if (AY >= 0)
        LPosition.setY(AY);
    ADialog->move(LPosition);
    // Owned by the window that is active now: the window system keeps the dialog above it.
    if (QWidget* LActive = QApplication::activeWindow(); LActive != nullptr) {
        ADialog->winId();
        if (QWindow* LOwner = LActive->windowHandle())
            ADialog->windowHandle()->setTransientParent(LOwner);
    }
    return ADialog->exec();
}

int MessageAt(const QString& AMessage, TMsgDlgType ADlgType, TDialogButtons AButtons, int AHelpCtx,
              int AX, int AY, const QString& AHelpFileName) {
    return ShowDialogModal(BuildMessageForm(AMessage, ADlgType, AButtons), AHelpCtx, AX, AY,
                           AHelpFileName);
}

int ShowNoticeAt(const QString& AMessage, int AX, int AY) {
    return MessageAt(AMessage, mtCustom, {TDialogButton::OK}, 0, AX, AY, QString());
}

int ShowNotice(const QString& AMessage) {
    return ShowNoticeAt(AMessage, -1, -1);
}

} // namespace corvane
