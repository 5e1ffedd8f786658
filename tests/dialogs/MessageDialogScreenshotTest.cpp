// Pictures of the dialog as a real X server shows it (run under Xvfb): the notice after a
// self-replacement, the mail "Falha" dialog with a long message and a confirmation. Each is
// saved as a PNG in the build folder's screenshots/ folder and checked for its colours.
#include "dialogs/MessageDialog.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <functional>

using namespace corvane;

using DialogFactory = std::function<std::unique_ptr<MessageDialogWindow>()>;
Q_DECLARE_METATYPE(DialogFactory)

namespace {

// Room around the dialog in the picture, to show its edge against the desktop.
constexpr int kMargin = 12;
const QColor kDesktop(58, 110, 165);

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { desktop_.reset(); }
    void Screenshot_data();
    void Screenshot();

private:
    std::unique_ptr<QWidget> desktop_;
};

void ScreenshotTest::initTestCase() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        QSKIP("needs an X server: run under xvfb-run with QT_QPA_PLATFORM=xcb");
    QCoreApplication::setApplicationName(QStringLiteral("Corvane Plexa"));
    QVERIFY(QDir().mkpath(QStringLiteral(CORVANE_SCREENSHOT_DIR)));
    // A plain desktop behind the dialogs.
    desktop_ = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    QPalette palette = desktop_->palette();
    palette.setColor(QPalette::Window, kDesktop);
    desktop_->setPalette(palette);
    desktop_->setAutoFillBackground(true);
    desktop_->setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop_->show();
    QVERIFY(QTest::qWaitForWindowExposed(desktop_.get()));
}

void ScreenshotTest::Screenshot_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<DialogFactory>("build");
    QTest::addColumn<QStringList>("buttons");
    using B = DialogButton;
    QTest::newRow("notice") << QStringLiteral("dialog-notice.png") << DialogFactory([] {
        return BuildMessageForm(QStringLiteral("Aplicação atualizada com sucesso!"), Custom,
                                {B::OK});
    }) << QStringList{"OK"};
    QTest::newRow("mail failure") << QStringLiteral("dialog-error.png") << DialogFactory([] {
        return BuildMessageForm(
            QStringLiteral("A recipient matched more than one of the recipient descriptor "
                           "structures and MAPI_DIALOG was not set. No message was sent."),
            Error, {});
    }) << QStringList{"OK"};
    QTest::newRow("confirmation") << QStringLiteral("dialog-confirmation.png") << DialogFactory([] {
        return BuildMessageForm(QStringLiteral("O módulo Estoque está aberto.\nDeseja "
                                               "atualizá-lo agora mesmo assim?"),
                                Confirmation, {B::Yes, B::No, B::Cancel});
    }) << QStringList{"Yes", "No", "Cancel"};
}

void ScreenshotTest::Screenshot() {
    QFETCH(QString, file);
    QFETCH(DialogFactory, build);
    QFETCH(QStringList, buttons);
    const auto form = build();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // Let the window system finish drawing it.
    QTRY_VERIFY(!form->grab().isNull());
    QCoreApplication::processEvents();
    const QRect frame = form->frameGeometry();
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, frame.x() - kMargin, frame.y() - kMargin,
                                         frame.width() + 2 * kMargin, frame.height() + 2 * kMargin)
                            .toImage();
    const QString path = QDir(QStringLiteral(CORVANE_SCREENSHOT_DIR)).filePath(file);
    QVERIFY(shot.save(path));
    qInfo("saved %s", qPrintable(path));

    // What the screen shows: the desktop around the dialog, the dialog's dark outer edge, its
    // light grey face, the darker strip, and the buttons in it.
    auto at = [&](QPoint inDialog) { return shot.pixelColor(inDialog + QPoint(kMargin, kMargin)); };
    QCOMPARE(shot.pixelColor(2, 2), kDesktop);
    QCOMPARE(at(QPoint(0, 0)), QColor(150, 150, 150));
    const QRect client = form->ClientRect();
    QCOMPARE(at(client.topLeft() + QPoint(2, 2)), QColor(245, 245, 245));
    const auto* panel = form->findChild<QWidget*>(QStringLiteral("ButtonPanel"));
    const QPoint panelCorner = panel->mapTo(form.get(), QPoint(2, panel->height() - 3));
    QCOMPARE(at(panelCorner), QColor(212, 212, 212));
    for (const QString& name : buttons) {
        const auto* button = form->findChild<QPushButton*>(name);
        QVERIFY(button != nullptr);
        QVERIFY(button->isVisible());
        QVERIFY(panel->rect().contains(button->geometry()));
    }
}

QTEST_MAIN(ScreenshotTest)
#include "MessageDialogScreenshotTest.moc"
