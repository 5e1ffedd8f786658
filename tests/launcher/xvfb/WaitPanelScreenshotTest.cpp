// The waiting panel with its progress line, as a real X server shows it (run under Xvfb): the
// picture is saved as wait-panel-progress.png in the build folder's screenshots/ folder, and
// checked for the navy panel, its caption and busy indicator as they were, and the line's
// white text below them.
#include "launcher/Application.h"
#include "launcher/BusyIndicator.h"
#include "launcher/MainWindow.h"
#include "launcher/WaitPanel.h"
#include "shell/LauncherTexts.h"
#include "update/UpdateProgress.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTest>

namespace {

const QColor kNavy(0, 0, 128);

// Pixels of the rectangle much lighter than the navy ground: drawn text.
int LightPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += QColor(image.pixel(x, y)).lightness() > 150 ? 1 : 0;
    return count;
}

} // namespace

class WaitPanelScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            QSKIP("needs an X server: run under xvfb-run with QT_QPA_PLATFORM=xcb");
        corvane::InitializeApplication();
        QVERIFY(QDir().mkpath(QStringLiteral(CORVANE_SCREENSHOT_DIR)));
    }

    void PanelShowsHowFarTheUpdateHasGot() {
        corvane::MainWindow window; // without Corvane.ini: no run of its own
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.ShowWaitPanel();
        constexpr std::uint64_t kMB = std::uint64_t{1} << 20;
        const std::string text = corvane::ProgressText({3, 12, 45 * kMB, 200 * kMB, true});
        window.ShowProgress(text);
        const corvane::WaitPanel* panel = window.WaitingPanel();
        QVERIFY(panel->isVisible());
        QVERIFY(panel->Indicator()->Animates());
        QCOMPARE(panel->Text()->text(), QString::fromUtf8(corvane::kWaitPanelText));
        QVERIFY(panel->Progress()->isVisible());
        QCOMPARE(panel->Progress()->text(), QStringLiteral("3 de 12 arquivos · 45 de 200 MB"));
        // The line lies below the caption and the indicator, inside the panel.
        QVERIFY(panel->Progress()->geometry().top() >= panel->Text()->geometry().bottom());
        QVERIFY(panel->Progress()->geometry().top() >= panel->Indicator()->geometry().bottom());
        QVERIFY(panel->rect().contains(panel->Progress()->geometry()));

        // What the screen shows once the X server has drawn the line.
        const QRect area = panel->geometry();
        const QRect line = panel->Progress()->geometry();
        QImage shot;
        const auto grabPanel = [&] {
            QCoreApplication::processEvents();
            shot = QGuiApplication::primaryScreen()
                       ->grabWindow(window.winId(), area.x(), area.y(), area.width(), area.height())
                       .toImage();
            return LightPixels(shot, line) > 100;
        };
        QTRY_VERIFY2(grabPanel(), "no text drawn on the progress line");
        const QString path =
            QDir(QStringLiteral(CORVANE_SCREENSHOT_DIR)).filePath("wait-panel-progress.png");
        QVERIFY(shot.save(path));
        qInfo("saved %s", qPrintable(path));

        QCOMPARE(shot.size(), area.size());
        QCOMPARE(shot.pixelColor(2, 2), kNavy);
        QCOMPARE(shot.pixelColor(area.width() - 3, area.height() - 3), kNavy);
        QVERIFY(LightPixels(shot, panel->Text()->geometry()) > 100);
        // Below the line the panel is bare.
        QCOMPARE(LightPixels(shot, QRect(0, line.bottom() + 1, area.width(),
                                         area.height() - line.bottom() - 1)),
                 0);

        // No figures, no line; the panel itself stays as it is.
        window.ShowProgress({});
        QVERIFY(!panel->Progress()->isVisible());
        QVERIFY(panel->isVisible());
        window.HideWaitPanel();
    }
};

QTEST_MAIN(WaitPanelScreenshotTest)
#include "WaitPanelScreenshotTest.moc"
