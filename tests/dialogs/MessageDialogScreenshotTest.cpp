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

using TBuild = std::function<std::unique_ptr<TMessageForm>()>;
Q_DECLARE_METATYPE(TBuild)

namespace {

// Room around the dialog in the picture, to show its edge against the desktop.
constexpr int Margin = 12;
const QColor Desktop(58, 110, 165);

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { FDesktop.reset(); }
    void Screenshot_data();
    void Screenshot();

private:
    std::unique_ptr<QWidget> FDesktop;
};

void ScreenshotTest::initTestCase() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        QSKIP("needs an X server: run under xvfb-run with QT_QPA_PLATFORM=xcb");
    QCoreApplication::setApplicationName(QStringLiteral("Corvane Plexa"));
    QVERIFY(QDir().mkpath(QStringLiteral(CORVANE_SCREENSHOT_DIR)));
    // A plain desktop behind the dialogs.
    FDesktop = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    QPalette LPalette = FDesktop->palette();
    LPalette.setColor(QPalette::Window, Desktop);
    FDesktop->setPalette(LPalette);
    FDesktop->setAutoFillBackground(true);
    FDesktop->setGeometry(QGuiApplication::primaryScreen()->geometry());
    FDesktop->show();
    QVERIFY(QTest::qWaitForWindowExposed(FDesktop.get()));
}

void ScreenshotTest::Screenshot_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<TBuild>("build");
    QTest::addColumn<QStringList>("buttons");
    using B = TDialogButton;
    QTest::newRow("notice") << QStringLiteral("dialog-notice.png") << TBuild([] {
        return BuildMessageForm(QStringLiteral("Aplicação atualizada com sucesso!"), mtCustom,
                                {B::OK});
    }) << QStringList{"OK"};
    QTest::newRow("mail failure") << QStringLiteral("dialog-error.png") << TBuild([] {
        return BuildMessageForm(
            QStringLiteral("A recipient matched more than one of the recipient descriptor "
                           "structures and MAPI_DIALOG was not set. No message was sent."),
            mtError, {});
    }) << QStringList{"OK"};
    QTest::newRow("confirmation") << QStringLiteral("dialog-confirmation.png") << TBuild([] {
        return BuildMessageForm(QStringLiteral("O módulo Estoque está aberto.\nDeseja "
                                               "atualizá-lo agora mesmo assim?"),
                                mtConfirmation, {B::Yes, B::No, B::Cancel});
    }) << QStringList{"Yes", "No", "Cancel"};
}

void ScreenshotTest::Screenshot() {
    QFETCH(QString, file);
    QFETCH(TBuild, build);
    QFETCH(QStringList, buttons);
    const auto LForm = build();
    LForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(LForm.get()));
    // Let the window system finish drawing it.
    QTRY_VERIFY(!LForm->grab().isNull());
    QCoreApplication::processEvents();
    const QRect LFrame = LForm->frameGeometry();
    const QImage LShot = QGuiApplication::primaryScreen()
                             ->grabWindow(0, LFrame.x() - Margin, LFrame.y() - Margin,
                                          LFrame.width() + 2 * Margin, LFrame.height() + 2 * Margin)
                             .toImage();
    const QString LPath = QDir(QStringLiteral(CORVANE_SCREENSHOT_DIR)).filePath(file);
    QVERIFY(LShot.save(LPath));
    qInfo("saved %s", qPrintable(LPath));

    // What the screen shows: the desktop around the dialog, the dialog's dark outer edge, its
    // light grey face, the darker strip, and the buttons in it.
    auto LAt = [&](QPoint AInDialog) {
        return LShot.pixelColor(AInDialog + QPoint(Margin, Margin));
    };
    QCOMPARE(LShot.pixelColor(2, 2), Desktop);
    QCOMPARE(LAt(QPoint(0, 0)), QColor(150, 150, 150));
    const QRect LClient = LForm->ClientRect();
    QCOMPARE(LAt(LClient.topLeft() + QPoint(2, 2)), QColor(245, 245, 245));
    const auto* LPanel = LForm->findChild<QWidget*>(QStringLiteral("ButtonPanel"));
    const QPoint LPanelCorner = LPanel->mapTo(LForm.get(), QPoint(2, LPanel->height() - 3));
    QCOMPARE(LAt(LPanelCorner), QColor(212, 212, 212));
    for (const QString& LName : buttons) {
        const auto* LButton = LForm->findChild<QPushButton*>(LName);
        QVERIFY(LButton != nullptr);
        QVERIFY(LButton->isVisible());
        QVERIFY(LPanel->rect().contains(LButton->geometry()));
    }
}

QTEST_MAIN(ScreenshotTest)
#include "MessageDialogScreenshotTest.moc"
