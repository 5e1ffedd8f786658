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

class MessageDialogText;

class MessageDialogWindow : public QDialog {
    Q_OBJECT
public:
    // The inner border between the window's edge and its client area, on every side.
    static constexpr int kBorderWidth = 2;

    // An empty dialog: frameless, 2-pixel inner border, "Segoe UI" 12 pt (or the system's
    // fallback), colour RGB(245, 245, 245), opacity 245/255. Dummy is unused; the builder
    // (BuildMessageForm) fills it.
    explicit MessageDialogWindow(QWidget* owner = nullptr, int dummy = 0);
    ~MessageDialogWindow() override;

    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int helpContext) { helpContext_ = helpContext; }
    const QString& HelpFile() const { return helpFile_; }
    void SetHelpFile(const QString& helpFile) { helpFile_ = helpFile; }

    // The client area's rectangle within the window.
    QRect ClientRect() const;

public slots:
    // The window's close command (and every other rejection) ends the dialog with
    // kModalResultCancel.
    void reject() override;

protected:
    DialogType dlgType_ = Custom;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class MessageDialogFiller;

    void DialogMouseDown(QMouseEvent* event);
    void DialogKeyDown(QKeyEvent* event);
    QString GetDialogText() const;
    void CopyTextToClipboard(const QString& text);
    void HelpButtonPressed();

    // Sees every key before the focused control does, and lets it go on.
    void InstallKeyPreview();
    bool PressAccessKey(QKeyEvent* event);

    MessageDialogText* message_ = nullptr;
    QLabel* title_ = nullptr;
    QWidget* buttonPanel_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    int helpContext_ = 0;
    QString helpFile_;
    // Where the window was grabbed, while it is dragged by hand (no window manager to do it).
    std::optional<QPoint> dragOffset_;
};

} // namespace corvane
