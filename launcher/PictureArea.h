// TImage: a picture area of the window. Without a picture it is transparent and serves as
// a click area over the background artwork.
#pragma once

#include <QLabel>

namespace corvane {

class TImage : public QLabel {
    Q_OBJECT
public:
    explicit TImage(QWidget* AParent);

signals:
    // A left-button click: pressed and released over the area.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;

private:
    bool FPressed = false;
};

} // namespace corvane
