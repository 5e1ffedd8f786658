// WaitPanel: the navy panel over the middle of the window that says an update is under way,
// with its text and busy indicator, and a line below them on how far the update has got. It
// shows from the start, its indicator still.
#pragma once

#include <QWidget>

class QLabel;

namespace corvane {

class BusyIndicator;

class WaitPanel : public QWidget {
    Q_OBJECT
public:
    explicit WaitPanel(QWidget* parent);

    // Shows the panel with its indicator going round.
    void Start();
    // Hides the panel and stops its indicator.
    void Stop();
    // The progress line's text; empty hides the line.
    void SetProgress(const QString& text);

    QLabel* Text() const { return text_; }
    BusyIndicator* Indicator() const { return indicator_; }
    QLabel* Progress() const { return progress_; }

private:
    QLabel* text_;
    BusyIndicator* indicator_;
    QLabel* progress_;
};

} // namespace corvane
