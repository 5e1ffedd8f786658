// The dialog's message area: read-only, borderless, word-wrapped text that shows the dialog's
// background through it.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>

namespace corvane {

class MessageDialogText : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MessageDialogText(QWidget* owner);

    // Sets the text; a CR LF, a lone CR and a lone LF each break the line.
    void SetText(const QString& text);

    // The text's lines, as set (not as wrapped); an empty last line does not count.
    QStringList Lines() const;
};

} // namespace corvane
