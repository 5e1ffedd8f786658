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
    static bool IsButton(QRgb APixel) { return qGray(APixel) < 170; }

private slots:
    void initTestCase() { corvane::InitializeApplication(); }

    void storedPictureIsBaselineJpeg() {
        QFile LFile(QStringLiteral(":/artwork/Fundo.jpg"));
        QVERIFY(LFile.open(QIODevice::ReadOnly));
        const QByteArray LBytes = LFile.readAll();
        QVERIFY(LBytes.startsWith("\xFF\xD8"));
        QVERIFY(LBytes.contains("JFIF"));
        QVERIFY(LBytes.contains("\xFF\xC0"));  // baseline frame
        QVERIFY(!LBytes.contains("\xFF\xC2")); // no progressive frame
        QImageReader LReader(QStringLiteral(":/artwork/Fundo.jpg"));
        QCOMPARE(LReader.format(), QByteArray("jpeg"));
        const QImage LImage = LReader.read();
        QCOMPARE(LImage.size(), QSize(1024, 768));
        QCOMPARE(qRound(LImage.dotsPerMeterX() * 0.0254), 96);
        QVERIFY(!QGuiApplication::windowIcon().isNull());
    }

    // Every area lies over a drawn button, and just outside its left edge is background.
    void buttonUnderEveryArea() {
        MainWindow LForm;
        LForm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&LForm));
        const QImage LStart = LForm.grab().toImage();
        const QString LShot = QStringLiteral(QT_TESTCASE_BUILDDIR "/MainWindow.png");
        QVERIFY(LStart.save(LShot));

        LForm.WaitingPanel()->hide();
        const QImage LImage = LForm.grab().toImage();
        QCOMPARE(LImage.size(), QSize(1018, 708));
        for (corvane::PictureArea* LArea :
             LForm.findChildren<corvane::PictureArea*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (LArea == LForm.Background() || LArea == LForm.Area("makerContact"))
                continue;
            const QRect LRect = LArea->geometry();
            const int LMiddle = LRect.center().y();
            QVERIFY2(IsButton(LImage.pixel(LRect.left() + 4, LMiddle)),
                     qPrintable(LArea->objectName()));
            QVERIFY2(IsButton(LImage.pixel(LRect.right() - 4, LMiddle)),
                     qPrintable(LArea->objectName()));
            QVERIFY2(!IsButton(LImage.pixel(LRect.left() - 5, LMiddle)),
                     qPrintable(LArea->objectName()));
        }
    }
};

QTEST_MAIN(ArtworkTest)
#include "ArtworkTest.moc"
