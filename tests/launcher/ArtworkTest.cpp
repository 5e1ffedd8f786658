// The window's background: the stored JPEG, a drawn button under every click area (the
// picture is centred, so it is shifted by 3 columns and 30 rows), and a screenshot of the
// window at start saved next to the test (MainWindow.png) for a look.
#include "launcher/Application.h"
#include "launcher/MainWindow.h"
#include "launcher/PictureArea.h"
#include "launcher/WaitPanel.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTest>

using corvane::MainWindow;

class ArtworkTest : public QObject {
    Q_OBJECT

private:
    static bool IsButton(QRgb pixel) { return qGray(pixel) < 170; }

private slots:
    void initTestCase() { corvane::InitializeApplication(); }

    void StoredPictureIsBaselineJpeg() {
        QFile file(QStringLiteral(":/artwork/Fundo.jpg"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xFF\xD8"));
        QVERIFY(bytes.contains("JFIF"));
        QVERIFY(bytes.contains("\xFF\xC0"));  // baseline frame
        QVERIFY(!bytes.contains("\xFF\xC2")); // no progressive frame
        QImageReader reader(QStringLiteral(":/artwork/Fundo.jpg"));
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage image = reader.read();
        QCOMPARE(image.size(), QSize(1024, 768));
        QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 96);
        QVERIFY(!QGuiApplication::windowIcon().isNull());
    }

    // Every area lies over a drawn button, and just outside its left edge is background.
    void ButtonUnderEveryArea() {
        MainWindow form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QImage start = form.grab().toImage();
        const QString shot = QStringLiteral(QT_TESTCASE_BUILDDIR "/MainWindow.png");
        QVERIFY(start.save(shot));

        form.WaitingPanel()->hide();
        const QImage image = form.grab().toImage();
        QCOMPARE(image.size(), QSize(1018, 708));
        for (corvane::PictureArea* area :
             form.findChildren<corvane::PictureArea*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (area == form.Background() || area == form.Area("makerContact"))
                continue;
            const QRect rect = area->geometry();
            const int middle = rect.center().y();
            QVERIFY2(IsButton(image.pixel(rect.left() + 4, middle)),
                     qPrintable(area->objectName()));
            QVERIFY2(IsButton(image.pixel(rect.right() - 4, middle)),
                     qPrintable(area->objectName()));
            QVERIFY2(!IsButton(image.pixel(rect.left() - 5, middle)),
                     qPrintable(area->objectName()));
        }
    }
};

QTEST_MAIN(ArtworkTest)
#include "ArtworkTest.moc"
