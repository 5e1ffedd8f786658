// The dialog's arithmetic without a screen: MulDiv, the layout from metrics to geometry, the
// luminance of the button strip, and the button set's bits.
#include "dialogs/MessageDialogLayout.h"
#include "dialogs/MessageDialogColors.h"
#include "dialogs/MessageDialogTypes.h"

#include <QTest>

using namespace corvane;

namespace corvane {
char* toString(const LayoutRect& rect) {
    return QTest::toString(QStringLiteral("(%1, %2, %3 x %4)")
                               .arg(rect.left)
                               .arg(rect.top)
                               .arg(rect.width)
                               .arg(rect.height));
}
} // namespace corvane

Q_DECLARE_METATYPE(corvane::DialogMetrics)
Q_DECLARE_METATYPE(corvane::LayoutRect)

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void MulDivRoundsHalvesAwayFromZero_data();
    void MulDivRoundsHalvesAwayFromZero();
    void Layout_data();
    void Layout();
    void RightToLeftMirrorsTheMessageArea();
    void WithLuminance_data();
    void WithLuminance();
    void ButtonSetBits();
};

void LayoutTest::MulDivRoundsHalvesAwayFromZero_data() {
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("expected");
    QTest::newRow("exact") << 8 << 7 << 4 << 14;
    QTest::newRow("half up") << 50 << 7 << 4 << 88;
    QTest::newRow("quarter down") << 10 << 21 << 8 << 26;
    QTest::newRow("three quarters up") << 14 << 21 << 8 << 37;
    QTest::newRow("negative half") << -50 << 7 << 4 << -88;
    QTest::newRow("negative divisor") << 3 << 1 << -2 << -2;
    QTest::newRow("zero divisor") << 5 << 1 << 0 << -1;
    QTest::newRow("too large") << 2000000000 << 4 << 2 << -1;
    QTest::newRow("large product fits") << 2000000000 << 4 << 8 << 1000000000;
}

void LayoutTest::MulDivRoundsHalvesAwayFromZero() {
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, expected);
    QCOMPARE(MulDiv(a, b, c), expected);
}

namespace {

DialogMetrics Metrics(int textWidth, int textHeight, int screenWidth, int screenHeight,
                      bool hasIcon, int buttonCount, int widestCaption) {
    DialogMetrics metrics;
    metrics.charWidth = 8;
    metrics.charHeight = 20;
    metrics.textWidth = textWidth;
    metrics.textHeight = textHeight;
    metrics.screenWidth = screenWidth;
    metrics.screenHeight = screenHeight;
    metrics.hasIcon = hasIcon;
    metrics.buttonCount = buttonCount;
    metrics.widestCaption = widestCaption;
    return metrics;
}

} // namespace

// Every row uses characters 8 x 20 pixels: HM 16, VM 20, VS 25, BW 100, BH 35, BS 8; the
// expected figures are worked out by hand from the dialog's rules.
void LayoutTest::Layout_data() {
    QTest::addColumn<DialogMetrics>("metrics");
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<int>("clientHeight");
    QTest::addColumn<LayoutRect>("icon");
    QTest::addColumn<LayoutRect>("message");
    QTest::addColumn<bool>("scrolls");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<LayoutRect>("panel");
    QTest::addColumn<QList<int>>("buttonLefts");
    QTest::addColumn<int>("buttonWidth");

    // A short notice: the 350-pixel minimum sets the width, the message fits.
    QTest::newRow("short notice, minimum width")
        << Metrics(250, 20, 1280, 800, false, 1, 40) << 358 << 172 << LayoutRect{}
        << LayoutRect{16, 52, 334, 26} << false << 459 << 312 << LayoutRect{0, 92, 358, 80}
        << QList<int>{129} << 100;
    // A wide message beside an icon; captions wider than the standard button.
    QTest::newRow("icon, wide message, wide captions")
        << Metrics(600, 60, 1280, 800, true, 2, 120) << 703 << 212 << LayoutRect{16, 10, 32, 32}
        << LayoutRect{48, 52, 647, 66} << false << 287 << 292 << LayoutRect{0, 132, 703, 80}
        << QList<int>{227, 355} << 120;
    // Taller than half the screen: the text block stops at 300 and the message scrolls.
    QTest::newRow("taller than half the screen")
        << Metrics(500, 1000, 800, 600, true, 1, 0) << 603 << 400 << LayoutRect{16, 10, 32, 32}
        << LayoutRect{48, 52, 547, 260} << true << 97 << 98 << LayoutRect{0, 320, 603, 80}
        << QList<int>{251} << 100;
    // Five buttons are wider than the text block: the button row sets the width.
    QTest::newRow("button row wider than the text")
        << Metrics(100, 20, 1280, 800, false, 5, 130) << 690 << 172 << LayoutRect{}
        << LayoutRect{16, 52, 334, 26} << false << 293 << 312 << LayoutRect{0, 92, 690, 80}
        << QList<int>{4, 142, 280, 418, 556} << 130;
    // Larger than the screen: the centred corner goes off the screen's top-left.
    QTest::newRow("larger than the screen")
        << Metrics(300, 500, 300, 200, false, 1, 0) << 358 << 200 << LayoutRect{}
        << LayoutRect{16, 52, 334, 60} << true << -31 << -2 << LayoutRect{0, 120, 358, 80}
        << QList<int>{129} << 100;
}

void LayoutTest::Layout() {
    QFETCH(DialogMetrics, metrics);
    const DialogGeometry g = LayoutMessageForm(metrics);
    QFETCH(int, clientWidth);
    QFETCH(int, clientHeight);
    QFETCH(LayoutRect, icon);
    QFETCH(LayoutRect, message);
    QFETCH(bool, scrolls);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(LayoutRect, panel);
    QFETCH(QList<int>, buttonLefts);
    QFETCH(int, buttonWidth);
    QCOMPARE(g.clientWidth, clientWidth);
    QCOMPARE(g.clientHeight, clientHeight);
    QCOMPARE(g.icon, icon);
    QCOMPARE(g.titleTop, 14);
    QCOMPARE(g.message, message);
    QCOMPARE(g.messageScrolls, scrolls);
    QCOMPARE(g.left, left);
    QCOMPARE(g.top, top);
    QCOMPARE(g.buttonPanel, panel);
    QCOMPARE(g.buttons.size(), std::size_t(buttonLefts.size()));
    for (qsizetype i = 0; i < buttonLefts.size(); ++i)
        QCOMPARE(g.buttons[std::size_t(i)], (LayoutRect{buttonLefts[i], 25, buttonWidth, 35}));
    // The strip holds the buttons with VS above and VM below them.
    QCOMPARE(g.buttonPanel.height, 35 + 25 + 20);
    QVERIFY(g.clientWidth >= 350 + 16 / 2);
}

void LayoutTest::RightToLeftMirrorsTheMessageArea() {
    DialogMetrics metrics = Metrics(250, 20, 1280, 800, true, 1, 0);
    const DialogGeometry leftToRight = LayoutMessageForm(metrics);
    metrics.rightToLeft = true;
    const DialogGeometry rightToLeft = LayoutMessageForm(metrics);
    QCOMPARE(rightToLeft.message.width, leftToRight.message.width);
    QCOMPARE(rightToLeft.message.left,
             rightToLeft.clientWidth - (32 + 16) - rightToLeft.message.width);
    QCOMPARE(rightToLeft.clientWidth, leftToRight.clientWidth);
}

void LayoutTest::WithLuminance_data() {
    QTest::addColumn<QColor>("color");
    QTest::addColumn<int>("luminance");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("the button strip") << QColor(245, 245, 245) << 200 << QColor(212, 212, 212);
    QTest::newRow("grey, black") << QColor(128, 128, 128) << 0 << QColor(0, 0, 0);
    QTest::newRow("grey, white") << QColor(0, 0, 0) << 240 << QColor(255, 255, 255);
    QTest::newRow("grey, half to even") << QColor(10, 10, 10) << 120 << QColor(128, 128, 128);
    QTest::newRow("grey, rounds up") << QColor(10, 10, 10) << 41 << QColor(44, 44, 44);
    QTest::newRow("red keeps its hue") << QColor(255, 0, 0) << 120 << QColor(255, 0, 0);
    QTest::newRow("darker red") << QColor(255, 0, 0) << 60 << QColor(128, 0, 0);
    QTest::newRow("lighter blue") << QColor(0, 0, 255) << 180 << QColor(128, 128, 255);
}

void LayoutTest::WithLuminance() {
    QFETCH(QColor, color);
    QFETCH(int, luminance);
    QFETCH(QColor, expected);
    QCOMPARE(corvane::WithLuminance(color, luminance), expected);
}

void LayoutTest::ButtonSetBits() {
    QCOMPARE(DialogButtons{DialogButton::OK}.Bits(), 4);
    QCOMPARE((DialogButtons{DialogButton::Yes, DialogButton::No}.Bits()), 3);
    QCOMPARE(DialogButtons{DialogButton::Close}.Bits(), 1 << 11);
    QCOMPARE(DialogButtons::FromBits(0xFFFF).Bits(), 0x0FFF);
    QCOMPARE(DialogButtons::FromBits(0xFFFF).Count(), 12);
    QVERIFY(DialogButtons{}.Empty());
    QVERIFY(DialogButtons::FromBits(3).Contains(DialogButton::No));
    QVERIFY(!DialogButtons::FromBits(3).Contains(DialogButton::OK));
}

QTEST_APPLESS_MAIN(LayoutTest)
#include "MessageDialogLayoutTest.moc"
