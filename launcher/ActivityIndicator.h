// TActivityIndicator: an animated busy indicator, a ring of dots whose bright dot goes
// round while it animates. It draws nothing while it does not animate.
#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace corvane {

class TActivityIndicator : public QWidget {
    Q_OBJECT
public:
    // The large indicator, 48 pixels square.
    static constexpr int LargeSize = 48;

    explicit TActivityIndicator(QWidget* AParent);

    bool Animate() const { return FTimer.isActive(); }
    void SetAnimate(bool AAnimate);

    int FrameDelay() const { return FTimer.interval(); }
    void SetFrameDelay(int AMilliseconds) { FTimer.setInterval(AMilliseconds); }

    QColor Color() const { return FColor; }
    void SetColor(const QColor& AColor);

protected:
    void paintEvent(QPaintEvent* AEvent) override;

private:
    static constexpr int DotCount = 12;

    QTimer FTimer;
    QColor FColor = Qt::black;
    int FFrame = 0;
};

} // namespace corvane
