// BusyIndicator: an animated busy indicator, a ring of dots whose bright dot goes round while
// it animates. It draws nothing while it does not animate.
#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace corvane {

class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    // The large indicator, 48 pixels square.
    static constexpr int kLargeSize = 48;

    explicit BusyIndicator(QWidget* parent);

    bool Animates() const { return timer_.isActive(); }
    void SetAnimates(bool animates);

    int FrameDelay() const { return timer_.interval(); }
    void SetFrameDelay(int milliseconds) { timer_.setInterval(milliseconds); }

    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kDotCount = 12;

    QTimer timer_;
    QColor color_ = Qt::black;
    int frame_ = 0;
};

} // namespace corvane
