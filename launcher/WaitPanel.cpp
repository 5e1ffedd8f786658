#include "launcher/WaitPanel.h"

#include "launcher/BusyIndicator.h"
#include "shell/LauncherTexts.h"
#include "shell/ModuleTable.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPalette>

#include <algorithm>

namespace corvane {

namespace {

QFont PixelFont(const char* family, int pixels, bool bold) {
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// The label sizes itself to its text; where a wider font stands in for the designed one, the
// font shrinks until the text fits within maxWidth.
void AutoSizeLabel(QLabel* label, int maxWidth) {
    QFont font = label->font();
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(label->text()) > maxWidth)
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
    const int width = QFontMetrics(font).horizontalAdvance(label->text()) + 2;
    label->resize(std::max(label->width(), std::min(width, maxWidth)), label->height());
}

} // namespace

WaitPanel::WaitPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("waitPanel"));
    setGeometry(kWaitPanelBounds.left, kWaitPanelBounds.top, kWaitPanelBounds.width,
                kWaitPanelBounds.height);
    setCursor(Qt::BusyCursor);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0, 0, 128)); // navy
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);

    text_ = new QLabel(QString::fromUtf8(kWaitPanelText), this);
    text_->setObjectName(QStringLiteral("waitText"));
    text_->setGeometry(43, 67, 271, 37);
    text_->setFont(PixelFont("Segoe UI", 27, true));
    AutoSizeLabel(text_, width() - text_->x());
    text_->setCursor(Qt::BusyCursor);

    indicator_ = new BusyIndicator(this);
    indicator_->setObjectName(QStringLiteral("busyIndicator"));
    indicator_->move(154, 19);
    indicator_->SetColor(Qt::white);
    indicator_->SetFrameDelay(30);
    indicator_->setCursor(Qt::BusyCursor);

    // Below the text, across the panel, in a smaller font.
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("waitProgress"));
    progress_->setGeometry(0, 108, width(), 24);
    progress_->setAlignment(Qt::AlignCenter);
    progress_->setFont(PixelFont("Segoe UI", 15, false));
    progress_->setCursor(Qt::BusyCursor);
    progress_->hide();
}

void WaitPanel::SetProgress(const QString& text) {
    progress_->setText(text);
    progress_->setVisible(!text.isEmpty());
}

void WaitPanel::Start() {
    show();
    indicator_->SetAnimates(true);
}

void WaitPanel::Stop() {
    hide();
    indicator_->SetAnimates(false);
}

} // namespace corvane
