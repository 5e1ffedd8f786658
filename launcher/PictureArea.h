// PictureArea: a picture on the window (the background) or, without a picture, a transparent
// click area over the background's drawn buttons.
#pragma once

#include <QLabel>

namespace corvane {

class PictureArea : public QLabel {
    Q_OBJECT
public:
    explicit PictureArea(QWidget* parent);

signals:
    // A left-button click: pressed and released over the area.
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

} // namespace corvane
