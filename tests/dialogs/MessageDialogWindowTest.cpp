// The message dialog on the offscreen platform: buttons, keys, results, the clipboard copy,
// the layout on a real screen, placement and dragging.
#include "dialogs/Clipboard.h"
#include "dialogs/MessageDialog.h"
#include "dialogs/MessageDialogLayout.h"
#include "dialogs/MessageDialogMetrics.h"
#include "dialogs/MessageDialogText.h"
#include "platform/ErrorReport.h"
#include "platform/Errors.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>

using namespace corvane;

Q_DECLARE_METATYPE(corvane::DialogType)

namespace {

// The result of a dialog that was still open when the test was done with it.
constexpr int kLeftOpen = -100;
// The result when no dialog came up at all.
constexpr int kNeverShown = -200;

const QString kNotice = QStringLiteral("Aplicação atualizada com sucesso!");

// Shows a dialog modally through show; once it is up and active, whileShown acts on it. A
// dialog still open afterwards is ended with kLeftOpen, so that a failing test never hangs.
int WhileShown(const std::function<int()>& show,
               const std::function<void(MessageDialogWindow&)>& whileShown) {
    bool shown = false;
    QTimer::singleShot(0, qApp, [&] {
        auto* form = qobject_cast<MessageDialogWindow*>(QApplication::activeModalWidget());
        if (form == nullptr)
            return;
        shown = true;
        const auto end = [form] {
            if (form->isVisible())
                form->done(kLeftOpen);
        };
        if (QTest::qWaitForWindowActive(form))
            whileShown(*form);
        end();
    });
    const int result = show();
    return shown ? result : kNeverShown;
}

// Builds and shows a dialog without a modal loop; its result() tells how it ended.
std::unique_ptr<MessageDialogWindow> ShowBuilt(std::unique_ptr<MessageDialogWindow> form) {
    form->show();
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("the dialog did not become active");
    return form;
}

QStringList ButtonNames(const MessageDialogWindow& form) {
    QStringList names;
    for (const QPushButton* button : form.findChildren<QPushButton*>())
        names << button->objectName();
    return names;
}

QString FocusName() {
    const QWidget* focus = QApplication::focusWidget();
    return focus != nullptr ? focus->objectName() : QString();
}

// The layout's figures for the dialog's own font.
struct LayoutFigures {
    int hm, vm, vs, bh;
};

LayoutFigures Figures(const MessageDialogWindow& form) {
    const QSize charValue = MeasureAverageChar(QFontMetrics(form.font()));
    return {MulDiv(8, charValue.width(), 4), MulDiv(8, charValue.height(), 8),
            MulDiv(10, charValue.height(), 8), MulDiv(14, charValue.height(), 8)};
}

QString Dashes() {
    return QString(27, u'-') + QStringLiteral("\r\n");
}

} // namespace

class MessageFormTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void CaptionTitleAndIconPerType_data();
    void CaptionTitleAndIconPerType();
    void DefaultAndCancelButtons_data();
    void DefaultAndCancelButtons();
    void EachButtonEndsWithItsResult_data();
    void EachButtonEndsWithItsResult();
    void Keys_data();
    void Keys();
    void HelpAndCloseLeaveTheDialogOpen();
    void ShowNoticeEndsWithOk_data();
    void ShowNoticeEndsWithOk();
    void CloseCommandEndsWithCancelResult();
    void CtrlCCopiesTheDialog_data();
    void CtrlCCopiesTheDialog();
    void CopiesLinesButtonsAndCaption();
    void EmptyMessage();
    void ClipboardFailureIsReportedAndTheDialogStays();
    void ShortNoticeHasTheMinimumWidth();
    void TallMessageScrolls();
    void Placement_data();
    void Placement();
    void DragsByBackgroundAndTitleOnly();
    void CaptionWidthsAreMeasuredOnce();
    void ShowDialogModalDestroysTheDialog();

private:
    ErrorReport previousErrors_;
    DialogHelpViewer previousHelp_;
    QStringList errors_;
    QList<QPair<int, QString>> helpRequests_;
};

void MessageFormTest::init() {
    QCoreApplication::setApplicationName(QStringLiteral("Corvane Plexa"));
    errors_.clear();
    helpRequests_.clear();
    previousErrors_ = SetErrorReport(
        [this](const std::string& message) { errors_ << QString::fromStdString(message); });
    previousHelp_ = SetDialogHelpViewer([this](int context, const QString& file) {
        helpRequests_.append({context, file});
    });
}

void MessageFormTest::cleanup() {
    SetErrorReport(previousErrors_);
    SetDialogHelpViewer(previousHelp_);
    SetClipboardWriter({});
}

void MessageFormTest::CaptionTitleAndIconPerType_data() {
    QTest::addColumn<DialogType>("type");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("icon");
    QTest::newRow("warning") << Warning << QStringLiteral("Aviso") << true;
    QTest::newRow("error") << Error << QStringLiteral("Falha") << true;
    QTest::newRow("information") << Information << QStringLiteral("Informação") << true;
    QTest::newRow("confirmation") << Confirmation << QStringLiteral("Confirmação") << true;
    QTest::newRow("custom") << Custom << QStringLiteral("Corvane Plexa") << false;
}

void MessageFormTest::CaptionTitleAndIconPerType() {
    QFETCH(DialogType, type);
    QFETCH(QString, caption);
    QFETCH(bool, icon);
    const auto form = BuildMessageForm(QStringLiteral("Mensagem"), type, {});
    QCOMPARE(form->windowTitle(), caption);
    const auto* title = form->findChild<QLabel*>(QStringLiteral("Title"));
    QVERIFY(title != nullptr);
    QCOMPARE(title->text(), caption);
    QCOMPARE(title->width(), form->ClientRect().width());
    const auto* image = form->findChild<QLabel*>(QStringLiteral("Image"));
    QCOMPARE(image != nullptr, icon);
    if (image != nullptr) {
        QCOMPARE(image->size(), QSize(32, 32));
        QVERIFY(!image->pixmap().isNull());
    }
    QVERIFY(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form->windowOpacity(), 245.0 / 255.0);
}

void MessageFormTest::DefaultAndCancelButtons_data() {
    QTest::addColumn<DialogType>("type");
    QTest::addColumn<int>("buttons");    // DialogButtons bits
    QTest::addColumn<int>("defaultArg"); // -1: the three-argument builder chooses
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("defaultName");
    QTest::addColumn<int>("escape"); // what Escape ends the dialog with
    using B = DialogButton;
    auto bits = [](DialogButtons set) { return int(set.Bits()); };
    QTest::newRow("notice") << Custom << bits({B::OK}) << -1 << QStringList{"OK"} << "OK"
                            << kModalResultOk;
    QTest::newRow("information, empty set")
        << Information << 0 << -1 << QStringList{"OK"} << "OK" << kModalResultOk;
    QTest::newRow("error, empty set")
        << Error << 0 << -1 << QStringList{"OK"} << "OK" << kModalResultOk;
    QTest::newRow("confirmation, empty set")
        << Confirmation << 0 << -1 << QStringList{"Yes", "No"} << "Yes" << kModalResultNo;
    QTest::newRow("abort, retry, ignore")
        << Warning << bits({B::Abort, B::Retry, B::Ignore}) << -1
        << QStringList{"Abort", "Retry", "Ignore"} << "Retry" << kLeftOpen;
    QTest::newRow("yes, no, cancel: Cancel answers Escape")
        << Confirmation << bits({B::Yes, B::No, B::Cancel}) << -1
        << QStringList{"Yes", "No", "Cancel"} << "Yes" << kModalResultAbort;
    QTest::newRow("ok, cancel") << Warning << bits({B::Cancel, B::OK}) << -1
                                << QStringList{"OK", "Cancel"} << "OK" << kModalResultAbort;
    QTest::newRow("default outside the set: the first button")
        << Confirmation << bits({B::Yes, B::No}) << int(B::Help) << QStringList{"Yes", "No"}
        << "Yes" << kModalResultNo;
    QTest::newRow("default given") << Confirmation << bits({B::Yes, B::No}) << int(B::No)
                                   << QStringList{"Yes", "No"} << "No" << kModalResultNo;
    QTest::newRow("neither OK, Yes nor Retry")
        << Information << bits({B::All, B::Ignore}) << -1 << QStringList{"Ignore", "All"}
        << "Ignore" << kLeftOpen;
    QTest::newRow("all twelve") << Warning << 0x0FFF << -1
                                << QStringList{"Yes",     "No",       "OK",     "Cancel",
                                               "Abort",   "Retry",    "Ignore", "All",
                                               "NoToAll", "YesToAll", "Help",   "Close"}
                                << "OK" << kModalResultAbort;
}

void MessageFormTest::DefaultAndCancelButtons() {
    QFETCH(DialogType, type);
    QFETCH(int, buttons);
    QFETCH(int, defaultArg);
    QFETCH(QStringList, names);
    QFETCH(QString, defaultName);
    QFETCH(int, escape);
    const DialogButtons set = DialogButtons::FromBits(std::uint16_t(buttons));
    auto form = ShowBuilt(defaultArg < 0 ? BuildMessageForm(QStringLiteral("Mensagem"), type, set)
                                         : BuildMessageForm(QStringLiteral("Mensagem"), type, set,
                                                            DialogButton(defaultArg)));
    QCOMPARE(ButtonNames(*form), names);
    QStringList defaults;
    int previousRight = -1;
    for (const QPushButton* button : form->findChildren<QPushButton*>()) {
        if (button->isDefault())
            defaults << button->objectName();
        QVERIFY2(button->x() > previousRight, "buttons left to right, apart");
        previousRight = button->geometry().right();
    }
    QCOMPARE(defaults, QStringList{defaultName});
    QCOMPARE(FocusName(), defaultName);
    QTest::keyClick(form->windowHandle(), Qt::Key_Escape);
    QCOMPARE(form->isVisible(), escape == kLeftOpen);
    if (escape != kLeftOpen)
        QCOMPARE(form->result(), escape);
}

void MessageFormTest::EachButtonEndsWithItsResult_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("result"); // kLeftOpen: the dialog stays
    using B = DialogButton;
    QTest::newRow("Yes") << int(B::Yes) << "&Sim" << 6;
    QTest::newRow("No") << int(B::No) << "&Não" << 7;
    QTest::newRow("OK") << int(B::OK) << "&OK" << 1;
    QTest::newRow("Cancel") << int(B::Cancel) << "&Cancelar" << 3;
    QTest::newRow("Abort") << int(B::Abort) << "&Abortar" << 3;
    QTest::newRow("Retry") << int(B::Retry) << "&Tentar" << 4;
    QTest::newRow("Ignore") << int(B::Ignore) << "&Ignorar" << 5;
    QTest::newRow("All") << int(B::All) << "Todos" << 12;
    QTest::newRow("NoToAll") << int(B::NoToAll) << "Não para todos" << 13;
    QTest::newRow("YesToAll") << int(B::YesToAll) << "Sim para todos" << 14;
    QTest::newRow("Help") << int(B::Help) << "&Ajuda" << kLeftOpen;
    QTest::newRow("Close") << int(B::Close) << "Fechar" << kLeftOpen;
}

void MessageFormTest::EachButtonEndsWithItsResult() {
    QFETCH(int, button);
    QFETCH(QString, caption);
    QFETCH(int, result);
    const QString name = QString::fromUtf8(QTest::currentDataTag());
    const int shown = WhileShown(
        [&] {
            return MessageAt(QStringLiteral("Mensagem"), Information, {DialogButton(button)}, 0, -1,
                             -1, QString());
        },
        [&](MessageDialogWindow& form) {
            auto* namedButton = form.findChild<QPushButton*>(name);
            QVERIFY(namedButton != nullptr);
            QCOMPARE(namedButton->text(), caption);
            QTest::mouseClick(namedButton, Qt::LeftButton);
        });
    QCOMPARE(shown, result);
}

void MessageFormTest::Keys_data() {
    QTest::addColumn<DialogType>("type");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<int>("result");
    using B = DialogButton;
    auto bits = [](DialogButtons set) { return int(set.Bits()); };
    QTest::newRow("Enter presses the default")
        << Confirmation << 0 << QKeySequence(Qt::Key_Return) << kModalResultYes;
    QTest::newRow("keypad Enter") << Confirmation << 0
                                  << QKeySequence(Qt::KeypadModifier | Qt::Key_Enter)
                                  << kModalResultYes;
    QTest::newRow("Tab, then Enter presses the focused button")
        << Confirmation << 0 << QKeySequence(Qt::Key_Tab, Qt::Key_Return) << kModalResultNo;
    QTest::newRow("Space presses the focused button")
        << Confirmation << 0 << QKeySequence(Qt::Key_Tab, Qt::Key_Space) << kModalResultNo;
    QTest::newRow("Enter in the message area presses the default")
        << Confirmation << 0
        << QKeySequence(Qt::SHIFT | Qt::Key_Backtab, QKeyCombination(Qt::Key_Return))
        << kModalResultYes;
    QTest::newRow("Escape in the message area presses the cancel button")
        << Confirmation << 0
        << QKeySequence(Qt::SHIFT | Qt::Key_Backtab, QKeyCombination(Qt::Key_Escape))
        << kModalResultNo;
    QTest::newRow("Alt and the access key")
        << Confirmation << 0 << QKeySequence(Qt::ALT | Qt::Key_N) << kModalResultNo;
    QTest::newRow("the access key alone on a button")
        << Confirmation << 0 << QKeySequence(Qt::Key_N) << kModalResultNo;
    QTest::newRow("access key of Tentar") << Warning << bits({B::Abort, B::Retry, B::Ignore})
                                          << QKeySequence(Qt::Key_T) << kModalResultRetry;
    QTest::newRow("Enter presses Tentar") << Warning << bits({B::Abort, B::Retry, B::Ignore})
                                          << QKeySequence(Qt::Key_Return) << kModalResultRetry;
}

void MessageFormTest::Keys() {
    QFETCH(DialogType, type);
    QFETCH(int, buttons);
    QFETCH(QKeySequence, keys);
    QFETCH(int, result);
    const int shown = WhileShown(
        [&] {
            return MessageAt(QStringLiteral("Mensagem"), type,
                             DialogButtons::FromBits(std::uint16_t(buttons)), 0, -1, -1, QString());
        },
        [&](MessageDialogWindow& form) {
            QTest::keySequence(form.windowHandle(), keys);
            // A shortcut presses its button a moment later, as a click that shows.
            QTRY_VERIFY(!form.isVisible());
        });
    QCOMPARE(shown, result);
}

void MessageFormTest::HelpAndCloseLeaveTheDialogOpen() {
    using B = DialogButton;
    const int shown = WhileShown(
        [] {
            return MessageAt(QStringLiteral("Mensagem"), Information, {B::OK, B::Help, B::Close},
                             77, -1, -1, QStringLiteral("manual.chm"));
        },
        [this](MessageDialogWindow& form) {
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Help")), Qt::LeftButton);
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Close")),
                              Qt::LeftButton);
            QVERIFY(form.isVisible());
            // The access key of Ajuda asks for help again; the dialog stays.
            QTest::keyClick(form.windowHandle(), Qt::Key_A, Qt::AltModifier);
            QTRY_COMPARE(helpRequests_.size(), 2);
            QVERIFY(form.isVisible());
            // Escape presses OK, the only cancel button there is.
            QTest::keyClick(form.windowHandle(), Qt::Key_Escape);
        });
    QCOMPARE(shown, kModalResultOk);
    const QPair<int, QString> request{77, QStringLiteral("manual.chm")};
    QCOMPARE(helpRequests_, (QList<QPair<int, QString>>{request, request}));
}

void MessageFormTest::ShowNoticeEndsWithOk_data() {
    QTest::addColumn<QKeySequence>("key");
    QTest::newRow("Enter") << QKeySequence(Qt::Key_Return);
    QTest::newRow("Escape") << QKeySequence(Qt::Key_Escape);
    QTest::newRow("Alt+O") << QKeySequence(Qt::ALT | Qt::Key_O);
}

void MessageFormTest::ShowNoticeEndsWithOk() {
    QFETCH(QKeySequence, key);
    QString caption;
    bool icon = true;
    const int shown = WhileShown([] { return ShowNotice(kNotice); },
                                 [&](MessageDialogWindow& form) {
                                     caption = form.windowTitle();
                                     icon = form.findChild<QLabel*>(QStringLiteral("Image"));
                                     QCOMPARE(ButtonNames(form), QStringList{"OK"});
                                     QCOMPARE(FocusName(), QStringLiteral("OK"));
                                     QTest::keySequence(form.windowHandle(), key);
                                     QTRY_VERIFY(!form.isVisible());
                                 });
    QCOMPARE(shown, kModalResultOk);
    QCOMPARE(caption, QStringLiteral("Corvane Plexa"));
    QVERIFY(!icon);
}

void MessageFormTest::CloseCommandEndsWithCancelResult() {
    const int shown = WhileShown([] { return ShowNotice(kNotice); },
                                 [](MessageDialogWindow& form) { form.windowHandle()->close(); });
    QCOMPARE(shown, kModalResultCancel);
}

void MessageFormTest::CtrlCCopiesTheDialog_data() {
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<bool>("copies");
    QTest::addColumn<bool>("fromMessageArea");
    QTest::newRow("Ctrl+C") << QKeySequence(Qt::CTRL | Qt::Key_C) << true << false;
    QTest::newRow("Ctrl+C in the message area")
        << QKeySequence(Qt::CTRL | Qt::Key_C) << true << true;
    QTest::newRow("Ctrl+Shift+C") << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C) << false
                                  << false;
    QTest::newRow("Ctrl+Alt+C") << QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C) << false << false;
    QTest::newRow("C alone") << QKeySequence(Qt::Key_C) << false << false;
    QTest::newRow("Ctrl+X") << QKeySequence(Qt::CTRL | Qt::Key_X) << false << false;
}

void MessageFormTest::CtrlCCopiesTheDialog() {
    QFETCH(QKeySequence, key);
    QFETCH(bool, copies);
    QFETCH(bool, fromMessageArea);
    const QString untouched = QStringLiteral("untouched");
    QGuiApplication::clipboard()->setText(untouched);
    int copyCount = 0;
    SetClipboardWriter([&copyCount](const QString& text) {
        ++copyCount;
        PutTextOnClipboard(text);
    });
    const int shown =
        WhileShown([] { return ShowNotice(kNotice); },
                   [&](MessageDialogWindow& form) {
                       if (fromMessageArea) {
                           QTest::keyClick(form.windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
                           QCOMPARE(FocusName(), QStringLiteral("Message"));
                       }
                       QTest::keySequence(form.windowHandle(), key);
                       QVERIFY(form.isVisible());
                   });
    QCOMPARE(shown, kLeftOpen);
    const QString expected = Dashes() + QStringLiteral("Corvane Plexa\r\n") + Dashes() + kNotice +
                             QStringLiteral("\r\n\r\n") + Dashes() + QStringLiteral("OK   \r\n") +
                             Dashes();
    QCOMPARE(QGuiApplication::clipboard()->text(), copies ? expected : untouched);
    // Once, although the key travels on from the focused control to the dialog.
    QCOMPARE(copyCount, copies ? 1 : 0);
    QVERIFY(errors_.isEmpty());
}

void MessageFormTest::CopiesLinesButtonsAndCaption() {
    using B = DialogButton;
    QGuiApplication::clipboard()->clear();
    const int shown = WhileShown(
        [] {
            return MessageAt(QStringLiteral("Linha 1\rLinha 2\nLinha 3\r\n\tLinha 4\r\n"),
                             Confirmation, {B::Help, B::Cancel, B::No, B::Yes}, 0, -1, -1,
                             QString());
        },
        [](MessageDialogWindow& form) {
            QTest::keyClick(form.windowHandle(), Qt::Key_C, Qt::ControlModifier);
        });
    QCOMPARE(shown, kLeftOpen);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             Dashes() + QStringLiteral("Confirmação\r\n") + Dashes() +
                 QStringLiteral("Linha 1\r\nLinha 2\r\nLinha 3\r\n\tLinha 4\r\n\r\n") + Dashes() +
                 QStringLiteral("Sim   Não   Cancelar   Ajuda   \r\n") + Dashes());
}

// A mail result outside the table gives the "Falha" dialog with nothing in its message area.
void MessageFormTest::EmptyMessage() {
    QGuiApplication::clipboard()->clear();
    QStringList lines{QStringLiteral("not read")};
    const int shown =
        WhileShown([] { return MessageAt(QString(), Error, {}, 0, -1, -1, QString()); },
                   [&](MessageDialogWindow& form) {
                       lines =
                           form.findChild<MessageDialogText*>(QStringLiteral("Message"))->Lines();
                       QTest::keyClick(form.windowHandle(), Qt::Key_C, Qt::ControlModifier);
                       QTest::keyClick(form.windowHandle(), Qt::Key_Return);
                   });
    QCOMPARE(shown, kModalResultOk);
    QCOMPARE(lines, QStringList());
    QCOMPARE(QGuiApplication::clipboard()->text(),
             Dashes() + QStringLiteral("Falha\r\n") + Dashes() + QStringLiteral("\r\n") + Dashes() +
                 QStringLiteral("OK   \r\n") + Dashes());
}

void MessageFormTest::ClipboardFailureIsReportedAndTheDialogStays() {
    SetClipboardWriter([](const QString&) {
        throw ClipboardException("Cannot open clipboard: the clipboard did not keep the text");
    });
    const int shown =
        WhileShown([] { return ShowNotice(kNotice); },
                   [this](MessageDialogWindow& form) {
                       QTest::keyClick(form.windowHandle(), Qt::Key_C, Qt::ControlModifier);
                       QCOMPARE(errors_.size(), 1);
                       QVERIFY(form.isVisible());
                       // The dialog goes on working.
                       QTest::keyClick(form.windowHandle(), Qt::Key_Return);
                   });
    QCOMPARE(shown, kModalResultOk);
    QCOMPARE(errors_, QStringList{"Cannot open clipboard: the clipboard did not keep the text"});
}

void MessageFormTest::ShortNoticeHasTheMinimumWidth() {
    const auto form = ShowBuilt(BuildMessageForm(kNotice, Custom, {DialogButton::OK}));
    const LayoutFigures figures = Figures(*form);
    QCOMPARE(form->ClientRect().width(), 350 + figures.hm / 2);
    QCOMPARE(form->width(), form->ClientRect().width() + 4);
    auto* message = form->findChild<MessageDialogText*>(QStringLiteral("Message"));
    QVERIFY(message != nullptr);
    QCOMPARE(message->Lines(), QStringList{kNotice});
    // The whole message shows: nothing to scroll, no scroll bar.
    QCOMPARE(message->verticalScrollBar()->maximum(), 0);
    QVERIFY(!message->verticalScrollBar()->isVisible());
    QVERIFY(message->isReadOnly());
    QCOMPARE(message->frameShape(), QFrame::NoFrame);
    QCOMPARE(message->geometry().top(), MessageDialogWindow::kBorderWidth + figures.vm + 32);
    // The strip at the bottom, in its darker grey.
    auto* panel = form->findChild<QWidget*>(QStringLiteral("ButtonPanel"));
    QVERIFY(panel != nullptr);
    QCOMPARE(panel->palette().color(QPalette::Window), QColor(212, 212, 212));
    QCOMPARE(panel->geometry().bottom(), form->ClientRect().bottom());
    QCOMPARE(panel->height(), figures.bh + figures.vs + figures.vm);
    QCOMPARE(form->palette().color(QPalette::Window), QColor(245, 245, 245));
}

void MessageFormTest::TallMessageScrolls() {
    QStringList lines;
    for (int i = 1; i <= 80; ++i)
        lines << QStringLiteral("Arquivo %1 não pôde ser copiado.").arg(i);
    const auto form = ShowBuilt(BuildMessageForm(lines.join(u'\n'), Error, {}));
    const LayoutFigures figures = Figures(*form);
    const int halfScreen = QGuiApplication::primaryScreen()->geometry().height() / 2;
    // The text block stops at half the screen; the strip and the margins come on top of it.
    QCOMPARE(form->ClientRect().height(), halfScreen + figures.bh + figures.vs + 2 * figures.vm);
    auto* message = form->findChild<MessageDialogText*>(QStringLiteral("Message"));
    QCOMPARE(message->height(), halfScreen - 2 * figures.vm);
    QVERIFY(message->verticalScrollBar()->isVisible());
    QVERIFY(message->verticalScrollBar()->maximum() > 0);
    QCOMPARE(message->Lines(), lines);
    // The keyboard scrolls it to its last line.
    message->setFocus();
    QTest::keyClick(form->windowHandle(), Qt::Key_End, Qt::ControlModifier);
    QVERIFY(message->verticalScrollBar()->value() > 0);
    QTextCursor end = message->textCursor();
    end.movePosition(QTextCursor::End);
    QVERIFY(message->viewport()->rect().contains(message->cursorRect(end)));
}

void MessageFormTest::Placement_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("centred") << -1 << -1;
    QTest::newRow("Y only") << -1 << 100;
    QTest::newRow("X only") << 50 << -1;
    QTest::newRow("both") << 30 << 40;
    QTest::newRow("zero is given") << 0 << 0;
}

void MessageFormTest::Placement() {
    QFETCH(int, x);
    QFETCH(int, y);
    QPoint position;
    QSize size;
    WhileShown([&] { return ShowNoticeAt(kNotice, x, y); },
               [&](MessageDialogWindow& form) {
                   position = form.geometry().topLeft();
                   size = form.size();
               });
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centred(screen.width() / 2 - size.width() / 2,
                         screen.height() / 2 - size.height() / 2);
    QCOMPARE(position, QPoint(x >= 0 ? x : centred.x(), y >= 0 ? y : centred.y()));
}

void MessageFormTest::DragsByBackgroundAndTitleOnly() {
    const auto form = ShowBuilt(BuildMessageForm(kNotice, Information, {}));
    auto drag = [&](QWidget* widget, QPoint at) {
        const QPoint before = form->pos();
        QTest::mousePress(widget, Qt::LeftButton, {}, at);
        QTest::mouseMove(widget, at + QPoint(30, 20));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, at + QPoint(30, 20));
        return form->pos() - before;
    };
    auto* title = form->findChild<QLabel*>(QStringLiteral("Title"));
    QCOMPARE(drag(title, QPoint(5, 5)), QPoint(30, 20));
    QCOMPARE(drag(form.get(), QPoint(form->width() - 6, 40)), QPoint(30, 20));
    QCOMPARE(drag(form->findChild<QWidget*>(QStringLiteral("ButtonPanel")), QPoint(3, 3)),
             QPoint(0, 0));
    QCOMPARE(drag(form->findChild<QLabel*>(QStringLiteral("Image")), QPoint(3, 3)), QPoint(0, 0));
}

void MessageFormTest::CaptionWidthsAreMeasuredOnce() {
    const auto first = BuildMessageForm(kNotice, Confirmation, {});
    const int yes = captionWidthCache[std::size_t(DialogButton::Yes)];
    QCOMPARE(yes, MeasureCaption(QFontMetrics(first->font()), QStringLiteral("&Sim")) + 8);
    // A cached width is used as it stands, never measured again.
    captionWidthCache[std::size_t(DialogButton::Yes)] = 300;
    const auto second = BuildMessageForm(kNotice, Confirmation, {});
    captionWidthCache[std::size_t(DialogButton::Yes)] = yes;
    QCOMPARE(second->findChild<QPushButton*>(QStringLiteral("Yes"))->width(), 300);
    QCOMPARE(second->findChild<QPushButton*>(QStringLiteral("No"))->width(), 300);
}

void MessageFormTest::ShowDialogModalDestroysTheDialog() {
    QPointer<MessageDialogWindow> form;
    const int shown = WhileShown([] { return ShowNotice(kNotice); },
                                 [&](MessageDialogWindow& newForm) {
                                     form = &newForm;
                                     QTest::keyClick(newForm.windowHandle(), Qt::Key_Return);
                                 });
    QCOMPARE(shown, kModalResultOk);
    QVERIFY(form.isNull());
    QVERIFY_THROWS_EXCEPTION(ArgumentException, ShowDialogModal(nullptr, 0, -1, -1, QString()));
}

QTEST_MAIN(MessageFormTest)
#include "MessageDialogWindowTest.moc"
