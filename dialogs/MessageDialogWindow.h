// The dialog window: frameless and slightly translucent, light grey with a darker button strip,
// dragged by its background or title, copied to the clipboard as plain text by Ctrl+C.
#pragma once

#include <optional>

#include <QDialog>
#include <QPoint>
#include <QString>

#include "dialogs/MessageDialogTypes.h"

class QLabel;
class QPushButton;

namespace corvane {

class TTransparentMemo;

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    // The inner border between the window's edge and its client area, on every side.
    static constexpr int BorderWidth = 2;

    // An empty dialog: frameless, 2-pixel inner border, "Segoe UI" 12 pt (or the system's
    // fallback), colour RGB(245, 245, 245), opacity 245/255. Dummy is unused; the builder
    // (BuildMessageForm) fills it.
    explicit TMessageForm(QWidget* AOwner = nullptr, int Dummy = 0);
    ~TMessageForm() override;

    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int AHelpContext) { FHelpContext = AHelpContext; }
    const QString& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString& AHelpFile) { FHelpFile = AHelpFile; }

    // The client area's rectangle within the window.
    QRect ClientRect() const;

public slots:
    // The window's close command (and every other rejection) ends the dialog with mrCancel.
    void reject() override;

protected:
    TMsgDlgType DlgType = mtCustom;

    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;
    void keyPressEvent(QKeyEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseMoveEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
    void paintEvent(QPaintEvent* AEvent) override;
    void showEvent(QShowEvent* AEvent) override;

private:
    friend class TMessageFormBuilder;

    void DialogMouseDown(QMouseEvent* AEvent);
    void DialogKeyDown(QKeyEvent* AEvent);
    QString GetDialogText() const;
    void CopyTextToClipboard(const QString& AText);
    void HelpButtonPressed();

    // Sees every key before the focused control does, and lets it go on.
    void InstallKeyPreview();
    bool PressAccessKey(QKeyEvent* AEvent);

    TTransparentMemo* Message = nullptr;
    QLabel* Title = nullptr;
    QWidget* ButtonPanel = nullptr;
    QPushButton* FCancelButton = nullptr;
    int FHelpContext = 0;
    QString FHelpFile;
    // Where the window was grabbed, while it is dragged by hand (no window manager to do it).
    std::optional<QPoint> FDragOffset;
};

} // namespace corvane
