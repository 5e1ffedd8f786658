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

Q_DECLARE_METATYPE(corvane::TMsgDlgType)

namespace {

// The result of a dialog that was still open when the test was done with it.
constexpr int LeftOpen = -100;
// The result when no dialog came up at all.
constexpr int NeverShown = -200;

const QString Notice = QStringLiteral("Aplicação atualizada com sucesso!");

// Shows a dialog modally through AShow; once it is up and active, AWhileShown acts on it. A
// dialog still open afterwards is ended with LeftOpen, so that a failing test never hangs.
int WhileShown(const std::function<int()>& AShow,
               const std::function<void(TMessageForm&)>& AWhileShown) {
    bool LShown = false;
    QTimer::singleShot(0, qApp, [&] {
        auto* LForm = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
        if (LForm == nullptr)
            return;
        LShown = true;
        const auto LEnd = [LForm] {
            if (LForm->isVisible())
                LForm->done(LeftOpen);
        };
        if (QTest::qWaitForWindowActive(LForm))
            AWhileShown(*LForm);
        LEnd();
    });
    const int LResult = AShow();
    return LShown ? LResult : NeverShown;
}

// Builds and shows a dialog without a modal loop; its result() tells how it ended.
std::unique_ptr<TMessageForm> ShowBuilt(std::unique_ptr<TMessageForm> AForm) {
    AForm->show();
    if (!QTest::qWaitForWindowActive(AForm.get()))
        qWarning("the dialog did not become active");
    return AForm;
}

QStringList ButtonNames(const TMessageForm& AForm) {
    QStringList LNames;
    for (const QPushButton* LButton : AForm.findChildren<QPushButton*>())
        LNames << LButton->objectName();
    return LNames;
}

QString FocusName() {
    const QWidget* LFocus = QApplication::focusWidget();
    return LFocus != nullptr ? LFocus->objectName() : QString();
}

// The layout's figures for the dialog's own font.
struct TFigures {
    int HM, VM, VS, BH;
};

TFigures Figures(const TMessageForm& AForm) {
    const QSize LChar = MeasureAverageChar(QFontMetrics(AForm.font()));
    return {MulDiv(8, LChar.width(), 4), MulDiv(8, LChar.height(), 8),
            MulDiv(10, LChar.height(), 8), MulDiv(14, LChar.height(), 8)};
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
    TErrorReport FPreviousErrors;
    TDialogHelpViewer FPreviousHelp;
    QStringList FErrors;
    QList<QPair<int, QString>> FHelpRequests;
};

void MessageFormTest::init() {
    QCoreApplication::setApplicationName(QStringLiteral("Corvane Plexa"));
    FErrors.clear();
    FHelpRequests.clear();
    FPreviousErrors = SetErrorReport(
        [this](const std::string& AMessage) { FErrors << QString::fromStdString(AMessage); });
    FPreviousHelp = SetDialogHelpViewer([this](int AContext, const QString& AFile) {
        FHelpRequests.append({AContext, AFile});
    });
}

void MessageFormTest::cleanup() {
    SetErrorReport(FPreviousErrors);
    SetDialogHelpViewer(FPreviousHelp);
    SetClipboardWriter({});
}

void MessageFormTest::CaptionTitleAndIconPerType_data() {
    QTest::addColumn<TMsgDlgType>("type");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("icon");
    QTest::newRow("warning") << mtWarning << QStringLiteral("Aviso") << true;
    QTest::newRow("error") << mtError << QStringLiteral("Falha") << true;
    QTest::newRow("information") << mtInformation << QStringLiteral("Informação") << true;
    QTest::newRow("confirmation") << mtConfirmation << QStringLiteral("Confirmação") << true;
    QTest::newRow("custom") << mtCustom << QStringLiteral("Corvane Plexa") << false;
}

void MessageFormTest::CaptionTitleAndIconPerType() {
    QFETCH(TMsgDlgType, type);
    QFETCH(QString, caption);
    QFETCH(bool, icon);
    const auto LForm = BuildMessageForm(QStringLiteral("Mensagem"), type, {});
    QCOMPARE(LForm->windowTitle(), caption);
    const auto* LTitle = LForm->findChild<QLabel*>(QStringLiteral("Title"));
    QVERIFY(LTitle != nullptr);
    QCOMPARE(LTitle->text(), caption);
    QCOMPARE(LTitle->width(), LForm->ClientRect().width());
    const auto* LImage = LForm->findChild<QLabel*>(QStringLiteral("Image"));
    QCOMPARE(LImage != nullptr, icon);
    if (LImage != nullptr) {
        QCOMPARE(LImage->size(), QSize(32, 32));
        QVERIFY(!LImage->pixmap().isNull());
    }
    QVERIFY(LForm->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(LForm->windowOpacity(), 245.0 / 255.0);
}

void MessageFormTest::DefaultAndCancelButtons_data() {
    QTest::addColumn<TMsgDlgType>("type");
    QTest::addColumn<int>("buttons");    // TDialogButtons bits
    QTest::addColumn<int>("defaultArg"); // -1: the three-argument builder chooses
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("defaultName");
    QTest::addColumn<int>("escape"); // what Escape ends the dialog with
    using B = TDialogButton;
    auto LBits = [](TDialogButtons ASet) { return int(ASet.Bits()); };
    QTest::newRow("notice") << mtCustom << LBits({B::OK}) << -1 << QStringList{"OK"} << "OK"
                            << mrOk;
    QTest::newRow("information, empty set")
        << mtInformation << 0 << -1 << QStringList{"OK"} << "OK" << mrOk;
    QTest::newRow("error, empty set") << mtError << 0 << -1 << QStringList{"OK"} << "OK" << mrOk;
    QTest::newRow("confirmation, empty set")
        << mtConfirmation << 0 << -1 << QStringList{"Yes", "No"} << "Yes" << mrNo;
    QTest::newRow("abort, retry, ignore")
        << mtWarning << LBits({B::Abort, B::Retry, B::Ignore}) << -1
        << QStringList{"Abort", "Retry", "Ignore"} << "Retry" << LeftOpen;
    QTest::newRow("yes, no, cancel: Cancel answers Escape")
        << mtConfirmation << LBits({B::Yes, B::No, B::Cancel}) << -1
        << QStringList{"Yes", "No", "Cancel"} << "Yes" << mrAbort;
    QTest::newRow("ok, cancel") << mtWarning << LBits({B::Cancel, B::OK}) << -1
                                << QStringList{"OK", "Cancel"} << "OK" << mrAbort;
    QTest::newRow("default outside the set: the first button")
        << mtConfirmation << LBits({B::Yes, B::No}) << int(B::Help) << QStringList{"Yes", "No"}
        << "Yes" << mrNo;
    QTest::newRow("default given") << mtConfirmation << LBits({B::Yes, B::No}) << int(B::No)
                                   << QStringList{"Yes", "No"} << "No" << mrNo;
    QTest::newRow("neither OK, Yes nor Retry")
        << mtInformation << LBits({B::All, B::Ignore}) << -1 << QStringList{"Ignore", "All"}
        << "Ignore" << LeftOpen;
    QTest::newRow("all twelve") << mtWarning << 0x0FFF << -1
                                << QStringList{"Yes",     "No",       "OK",     "Cancel",
                                               "Abort",   "Retry",    "Ignore", "All",
                                               "NoToAll", "YesToAll", "Help",   "Close"}
                                << "OK" << mrAbort;
}

void MessageFormTest::DefaultAndCancelButtons() {
    QFETCH(TMsgDlgType, type);
    QFETCH(int, buttons);
    QFETCH(int, defaultArg);
    QFETCH(QStringList, names);
    QFETCH(QString, defaultName);
    QFETCH(int, escape);
    const TDialogButtons LSet = TDialogButtons::FromBits(std::uint16_t(buttons));
    auto LForm = ShowBuilt(defaultArg < 0 ? BuildMessageForm(QStringLiteral("Mensagem"), type, LSet)
                                          : BuildMessageForm(QStringLiteral("Mensagem"), type, LSet,
                                                             TDialogButton(defaultArg)));
    QCOMPARE(ButtonNames(*LForm), names);
    QStringList LDefaults;
    int LPreviousRight = -1;
    for (const QPushButton* LButton : LForm->findChildren<QPushButton*>()) {
        if (LButton->isDefault())
            LDefaults << LButton->objectName();
        QVERIFY2(LButton->x() > LPreviousRight, "buttons left to right, apart");
        LPreviousRight = LButton->geometry().right();
    }
    QCOMPARE(LDefaults, QStringList{defaultName});
    QCOMPARE(FocusName(), defaultName);
    QTest::keyClick(LForm->windowHandle(), Qt::Key_Escape);
    QCOMPARE(LForm->isVisible(), escape == LeftOpen);
    if (escape != LeftOpen)
        QCOMPARE(LForm->result(), escape);
}

void MessageFormTest::EachButtonEndsWithItsResult_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("result"); // LeftOpen: the dialog stays
    using B = TDialogButton;
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
    QTest::newRow("Help") << int(B::Help) << "&Ajuda" << LeftOpen;
    QTest::newRow("Close") << int(B::Close) << "Fechar" << LeftOpen;
}

void MessageFormTest::EachButtonEndsWithItsResult() {
    QFETCH(int, button);
    QFETCH(QString, caption);
    QFETCH(int, result);
    const QString LName = QString::fromUtf8(QTest::currentDataTag());
    const int LShown = WhileShown(
        [&] {
            return MessageAt(QStringLiteral("Mensagem"), mtInformation, {TDialogButton(button)}, 0,
                             -1, -1, QString());
        },
        [&](TMessageForm& AForm) {
            auto* LButton = AForm.findChild<QPushButton*>(LName);
            QVERIFY(LButton != nullptr);
            QCOMPARE(LButton->text(), caption);
            QTest::mouseClick(LButton, Qt::LeftButton);
        });
    QCOMPARE(LShown, result);
}

void MessageFormTest::Keys_data() {
    QTest::addColumn<TMsgDlgType>("type");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<int>("result");
    using B = TDialogButton;
    auto LBits = [](TDialogButtons ASet) { return int(ASet.Bits()); };
    QTest::newRow("Enter presses the default")
        << mtConfirmation << 0 << QKeySequence(Qt::Key_Return) << mrYes;
    QTest::newRow("keypad Enter") << mtConfirmation << 0
                                  << QKeySequence(Qt::KeypadModifier | Qt::Key_Enter) << mrYes;
    QTest::newRow("Tab, then Enter presses the focused button")
        << mtConfirmation << 0 << QKeySequence(Qt::Key_Tab, Qt::Key_Return) << mrNo;
    QTest::newRow("Space presses the focused button")
        << mtConfirmation << 0 << QKeySequence(Qt::Key_Tab, Qt::Key_Space) << mrNo;
    QTest::newRow("Enter in the message area presses the default")
        << mtConfirmation << 0
        << QKeySequence(Qt::SHIFT | Qt::Key_Backtab, QKeyCombination(Qt::Key_Return)) << mrYes;
    QTest::newRow("Escape in the message area presses the cancel button")
        << mtConfirmation << 0
        << QKeySequence(Qt::SHIFT | Qt::Key_Backtab, QKeyCombination(Qt::Key_Escape)) << mrNo;
    QTest::newRow("Alt and the access key")
        << mtConfirmation << 0 << QKeySequence(Qt::ALT | Qt::Key_N) << mrNo;
    QTest::newRow("the access key alone on a button")
        << mtConfirmation << 0 << QKeySequence(Qt::Key_N) << mrNo;
    QTest::newRow("access key of Tentar") << mtWarning << LBits({B::Abort, B::Retry, B::Ignore})
                                          << QKeySequence(Qt::Key_T) << mrRetry;
    QTest::newRow("Enter presses Tentar") << mtWarning << LBits({B::Abort, B::Retry, B::Ignore})
                                          << QKeySequence(Qt::Key_Return) << mrRetry;
}

void MessageFormTest::Keys() {
    QFETCH(TMsgDlgType, type);
    QFETCH(int, buttons);
    QFETCH(QKeySequence, keys);
    QFETCH(int, result);
    const int LShown = WhileShown(
        [&] {
            return MessageAt(QStringLiteral("Mensagem"), type,
                             TDialogButtons::FromBits(std::uint16_t(buttons)), 0, -1, -1,
                             QString());
        },
        [&](TMessageForm& AForm) {
            QTest::keySequence(AForm.windowHandle(), keys);
            // A shortcut presses its button a moment later, as a click that shows.
            QTRY_VERIFY(!AForm.isVisible());
        });
    QCOMPARE(LShown, result);
}

void MessageFormTest::HelpAndCloseLeaveTheDialogOpen() {
    using B = TDialogButton;
    const int LShown = WhileShown(
        [] {
            return MessageAt(QStringLiteral("Mensagem"), mtInformation, {B::OK, B::Help, B::Close},
                             77, -1, -1, QStringLiteral("manual.chm"));
        },
        [this](TMessageForm& AForm) {
            QTest::mouseClick(AForm.findChild<QPushButton*>(QStringLiteral("Help")),
                              Qt::LeftButton);
            QTest::mouseClick(AForm.findChild<QPushButton*>(QStringLiteral("Close")),
                              Qt::LeftButton);
            QVERIFY(AForm.isVisible());
            // The access key of Ajuda asks for help again; the dialog stays.
            QTest::keyClick(AForm.windowHandle(), Qt::Key_A, Qt::AltModifier);
            QTRY_COMPARE(FHelpRequests.size(), 2);
            QVERIFY(AForm.isVisible());
            // Escape presses OK, the only cancel button there is.
            QTest::keyClick(AForm.windowHandle(), Qt::Key_Escape);
        });
    QCOMPARE(LShown, mrOk);
    const QPair<int, QString> LRequest{77, QStringLiteral("manual.chm")};
    QCOMPARE(FHelpRequests, (QList<QPair<int, QString>>{LRequest, LRequest}));
}

void MessageFormTest::ShowNoticeEndsWithOk_data() {
    QTest::addColumn<QKeySequence>("key");
    QTest::newRow("Enter") << QKeySequence(Qt::Key_Return);
    QTest::newRow("Escape") << QKeySequence(Qt::Key_Escape);
    QTest::newRow("Alt+O") << QKeySequence(Qt::ALT | Qt::Key_O);
}

void MessageFormTest::ShowNoticeEndsWithOk() {
    QFETCH(QKeySequence, key);
    QString LCaption;
    bool LIcon = true;
    const int LShown = WhileShown([] { return ShowNotice(Notice); },
                                  [&](TMessageForm& AForm) {
                                      LCaption = AForm.windowTitle();
                                      LIcon = AForm.findChild<QLabel*>(QStringLiteral("Image"));
                                      QCOMPARE(ButtonNames(AForm), QStringList{"OK"});
                                      QCOMPARE(FocusName(), QStringLiteral("OK"));
                                      QTest::keySequence(AForm.windowHandle(), key);
                                      QTRY_VERIFY(!AForm.isVisible());
                                  });
    QCOMPARE(LShown, mrOk);
    QCOMPARE(LCaption, QStringLiteral("Corvane Plexa"));
    QVERIFY(!LIcon);
}

void MessageFormTest::CloseCommandEndsWithCancelResult() {
    const int LShown = WhileShown([] { return ShowNotice(Notice); },
                                  [](TMessageForm& AForm) { AForm.windowHandle()->close(); });
    QCOMPARE(LShown, mrCancel);
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
    const QString LUntouched = QStringLiteral("untouched");
    QGuiApplication::clipboard()->setText(LUntouched);
    int LCopies = 0;
    SetClipboardWriter([&LCopies](const QString& AText) {
        ++LCopies;
        PutTextOnClipboard(AText);
    });
    const int LShown = WhileShown([] { return ShowNotice(Notice); },
                                  [&](TMessageForm& AForm) {
                                      if (fromMessageArea) {
                                          QTest::keyClick(AForm.windowHandle(), Qt::Key_Backtab,
                                                          Qt::ShiftModifier);
                                          QCOMPARE(FocusName(), QStringLiteral("Message"));
                                      }
                                      QTest::keySequence(AForm.windowHandle(), key);
                                      QVERIFY(AForm.isVisible());
                                  });
    QCOMPARE(LShown, LeftOpen);
    const QString LExpected = Dashes() + QStringLiteral("Corvane Plexa\r\n") + Dashes() + Notice +
                              QStringLiteral("\r\n\r\n") + Dashes() + QStringLiteral("OK   \r\n") +
                              Dashes();
    QCOMPARE(QGuiApplication::clipboard()->text(), copies ? LExpected : LUntouched);
    // Once, although the key travels on from the focused control to the dialog.
    QCOMPARE(LCopies, copies ? 1 : 0);
    QVERIFY(FErrors.isEmpty());
}

void MessageFormTest::CopiesLinesButtonsAndCaption() {
    using B = TDialogButton;
    QGuiApplication::clipboard()->clear();
    const int LShown = WhileShown(
        [] {
            return MessageAt(QStringLiteral("Linha 1\rLinha 2\nLinha 3\r\n\tLinha 4\r\n"),
                             mtConfirmation, {B::Help, B::Cancel, B::No, B::Yes}, 0, -1, -1,
                             QString());
        },
        [](TMessageForm& AForm) {
            QTest::keyClick(AForm.windowHandle(), Qt::Key_C, Qt::ControlModifier);
        });
    QCOMPARE(LShown, LeftOpen);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             Dashes() + QStringLiteral("Confirmação\r\n") + Dashes() +
                 QStringLiteral("Linha 1\r\nLinha 2\r\nLinha 3\r\n\tLinha 4\r\n\r\n") + Dashes() +
                 QStringLiteral("Sim   Não   Cancelar   Ajuda   \r\n") + Dashes());
}

// A mail result outside the table gives the "Falha" dialog with nothing in its message area.
void MessageFormTest::EmptyMessage() {
    QGuiApplication::clipboard()->clear();
    QStringList LLines{QStringLiteral("not read")};
    const int LShown =
        WhileShown([] { return MessageAt(QString(), mtError, {}, 0, -1, -1, QString()); },
                   [&](TMessageForm& AForm) {
                       LLines =
                           AForm.findChild<TTransparentMemo*>(QStringLiteral("Message"))->Lines();
                       QTest::keyClick(AForm.windowHandle(), Qt::Key_C, Qt::ControlModifier);
                       QTest::keyClick(AForm.windowHandle(), Qt::Key_Return);
                   });
    QCOMPARE(LShown, mrOk);
    QCOMPARE(LLines, QStringList());
    QCOMPARE(QGuiApplication::clipboard()->text(),
             Dashes() + QStringLiteral("Falha\r\n") + Dashes() + QStringLiteral("\r\n") + Dashes() +
                 QStringLiteral("OK   \r\n") + Dashes());
}

void MessageFormTest::ClipboardFailureIsReportedAndTheDialogStays() {
    SetClipboardWriter([](const QString&) {
        throw EClipboardException("Cannot open clipboard: the clipboard did not keep the text");
    });
    const int LShown =
        WhileShown([] { return ShowNotice(Notice); },
                   [this](TMessageForm& AForm) {
                       QTest::keyClick(AForm.windowHandle(), Qt::Key_C, Qt::ControlModifier);
                       QCOMPARE(FErrors.size(), 1);
                       QVERIFY(AForm.isVisible());
                       // The dialog goes on working.
                       QTest::keyClick(AForm.windowHandle(), Qt::Key_Return);
                   });
    QCOMPARE(LShown, mrOk);
    QCOMPARE(FErrors, QStringList{"Cannot open clipboard: the clipboard did not keep the text"});
}

void MessageFormTest::ShortNoticeHasTheMinimumWidth() {
    const auto LForm = ShowBuilt(BuildMessageForm(Notice, mtCustom, {TDialogButton::OK}));
    const TFigures LFigures = Figures(*LForm);
    QCOMPARE(LForm->ClientRect().width(), 350 + LFigures.HM / 2);
    QCOMPARE(LForm->width(), LForm->ClientRect().width() + 4);
    auto* LMessage = LForm->findChild<TTransparentMemo*>(QStringLiteral("Message"));
    QVERIFY(LMessage != nullptr);
    QCOMPARE(LMessage->Lines(), QStringList{Notice});
    // The whole message shows: nothing to scroll, no scroll bar.
    QCOMPARE(LMessage->verticalScrollBar()->maximum(), 0);
    QVERIFY(!LMessage->verticalScrollBar()->isVisible());
    QVERIFY(LMessage->isReadOnly());
    QCOMPARE(LMessage->frameShape(), QFrame::NoFrame);
    QCOMPARE(LMessage->geometry().top(), TMessageForm::BorderWidth + LFigures.VM + 32);
    // The strip at the bottom, in its darker grey.
    auto* LPanel = LForm->findChild<QWidget*>(QStringLiteral("ButtonPanel"));
    QVERIFY(LPanel != nullptr);
    QCOMPARE(LPanel->palette().color(QPalette::Window), QColor(212, 212, 212));
    QCOMPARE(LPanel->geometry().bottom(), LForm->ClientRect().bottom());
    QCOMPARE(LPanel->height(), LFigures.BH + LFigures.VS + LFigures.VM);
    QCOMPARE(LForm->palette().color(QPalette::Window), QColor(245, 245, 245));
}

void MessageFormTest::TallMessageScrolls() {
    QStringList LLines;
    for (int i = 1; i <= 80; ++i)
        LLines << QStringLiteral("Arquivo %1 não pôde ser copiado.").arg(i);
    const auto LForm = ShowBuilt(BuildMessageForm(LLines.join(u'\n'), mtError, {}));
    const TFigures LFigures = Figures(*LForm);
    const int LHalfScreen = QGuiApplication::primaryScreen()->geometry().height() / 2;
    // The text block stops at half the screen; the strip and the margins come on top of it.
    QCOMPARE(LForm->ClientRect().height(),
             LHalfScreen + LFigures.BH + LFigures.VS + 2 * LFigures.VM);
    auto* LMessage = LForm->findChild<TTransparentMemo*>(QStringLiteral("Message"));
    QCOMPARE(LMessage->height(), LHalfScreen - 2 * LFigures.VM);
    QVERIFY(LMessage->verticalScrollBar()->isVisible());
    QVERIFY(LMessage->verticalScrollBar()->maximum() > 0);
    QCOMPARE(LMessage->Lines(), LLines);
    // The keyboard scrolls it to its last line.
    LMessage->setFocus();
    QTest::keyClick(LForm->windowHandle(), Qt::Key_End, Qt::ControlModifier);
    QVERIFY(LMessage->verticalScrollBar()->value() > 0);
    QTextCursor LEnd = LMessage->textCursor();
    LEnd.movePosition(QTextCursor::End);
    QVERIFY(LMessage->viewport()->rect().contains(LMessage->cursorRect(LEnd)));
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
    QPoint LPosition;
    QSize LSize;
    WhileShown([&] { return ShowNoticeAt(Notice, x, y); },
               [&](TMessageForm& AForm) {
                   LPosition = AForm.geometry().topLeft();
                   LSize = AForm.size();
               });
    const QRect LScreen = QGuiApplication::primaryScreen()->geometry();
    const QPoint LCentred(LScreen.width() / 2 - LSize.width() / 2,
                          LScreen.height() / 2 - LSize.height() / 2);
    QCOMPARE(LPosition, QPoint(x >= 0 ? x : LCentred.x(), y >= 0 ? y : LCentred.y()));
}

void MessageFormTest::DragsByBackgroundAndTitleOnly() {
    const auto LForm = ShowBuilt(BuildMessageForm(Notice, mtInformation, {}));
    auto LDrag = [&](QWidget* AWidget, QPoint AAt) {
        const QPoint LBefore = LForm->pos();
        QTest::mousePress(AWidget, Qt::LeftButton, {}, AAt);
        QTest::mouseMove(AWidget, AAt + QPoint(30, 20));
        QTest::mouseRelease(AWidget, Qt::LeftButton, {}, AAt + QPoint(30, 20));
        return LForm->pos() - LBefore;
    };
    auto* LTitle = LForm->findChild<QLabel*>(QStringLiteral("Title"));
    QCOMPARE(LDrag(LTitle, QPoint(5, 5)), QPoint(30, 20));
    QCOMPARE(LDrag(LForm.get(), QPoint(LForm->width() - 6, 40)), QPoint(30, 20));
    QCOMPARE(LDrag(LForm->findChild<QWidget*>(QStringLiteral("ButtonPanel")), QPoint(3, 3)),
             QPoint(0, 0));
    QCOMPARE(LDrag(LForm->findChild<QLabel*>(QStringLiteral("Image")), QPoint(3, 3)), QPoint(0, 0));
}

void MessageFormTest::CaptionWidthsAreMeasuredOnce() {
    const auto LFirst = BuildMessageForm(Notice, mtConfirmation, {});
    const int LYes = CaptionWidthCache[std::size_t(TDialogButton::Yes)];
    QCOMPARE(LYes, MeasureCaption(QFontMetrics(LFirst->font()), QStringLiteral("&Sim")) + 8);
    // A cached width is used as it stands, never measured again.
    CaptionWidthCache[std::size_t(TDialogButton::Yes)] = 300;
    const auto LSecond = BuildMessageForm(Notice, mtConfirmation, {});
    CaptionWidthCache[std::size_t(TDialogButton::Yes)] = LYes;
    QCOMPARE(LSecond->findChild<QPushButton*>(QStringLiteral("Yes"))->width(), 300);
    QCOMPARE(LSecond->findChild<QPushButton*>(QStringLiteral("No"))->width(), 300);
}

void MessageFormTest::ShowDialogModalDestroysTheDialog() {
    QPointer<TMessageForm> LForm;
    const int LShown = WhileShown([] { return ShowNotice(Notice); },
                                  [&](TMessageForm& AForm) {
                                      LForm = &AForm;
                                      QTest::keyClick(AForm.windowHandle(), Qt::Key_Return);
                                  });
    QCOMPARE(LShown, mrOk);
    QVERIFY(LForm.isNull());
    QVERIFY_THROWS_EXCEPTION(EArgumentException, ShowDialogModal(nullptr, 0, -1, -1, QString()));
}

QTEST_MAIN(MessageFormTest)
#include "MessageDialogWindowTest.moc"
