// The main window as its construction leaves it, before Start: the components, their places
// taken from the shell's table of click areas, and the areas' clicks.
#include "launcher/MainWindow.h"

#include "launcher/Application.h"
#include "launcher/BusyIndicator.h"
#include "launcher/PictureArea.h"
#include "launcher/WaitPanel.h"
#include "shell/Contacts.h"
#include "shell/ModuleTable.h"

#include <QFontMetrics>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <set>

using corvane::MainWindow;
using corvane::PictureArea;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { corvane::InitializeApplication(); }

    // One widget per row of the table, named and placed as the row says, with its hint; nothing
    // is read before Start.
    void AreasFollowTheTable() {
        MainWindow window;
        QVERIFY(window.Shell().Settings().localPath.empty());
        for (const corvane::ClickArea& area : corvane::ClickAreas()) {
            const QString name = QString::fromUtf8(area.name.data(), area.name.size());
            const PictureArea* widget = window.Area(area.name);
            QVERIFY2(widget != nullptr, qPrintable(name));
            QCOMPARE(widget->objectName(), name);
            QCOMPARE(widget->parentWidget(), &window);
            QCOMPARE(widget->geometry(), QRect(area.bounds.left, area.bounds.top, area.bounds.width,
                                               area.bounds.height));
            QCOMPARE(widget->cursor().shape(), Qt::PointingHandCursor);
        }
        QCOMPARE(window.Area("supportMail")->toolTip(),
                 QStringLiteral("e-mail : ") + QString::fromUtf8(corvane::kSupportEmail));
        // Qt breaks a hint's lines at the line feed.
        QCOMPARE(window.Area("makerContact")->toolTip(),
                 QStringLiteral("Telefone : ") + QString::fromUtf8(corvane::kMakerTelephone) +
                     QLatin1Char('\n') + QString::fromUtf8(corvane::kMakerCommercialEmail));
        QVERIFY(window.Area("stock")->toolTip().isEmpty());
        QCOMPARE(window.Area("background"), nullptr); // the background is no click area
    }

    void WindowAndComponents() {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Corvane Plexa"));
        QCOMPARE(window.size(), QSize(1018, 708));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(window.Background()->geometry(), window.rect());
        QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));

        const QList<PictureArea*> areas =
            window.findChildren<PictureArea*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(areas.size(), 21); // the background and twenty areas over it
        std::set<QString> underPanel;
        const corvane::WaitPanel* panel = window.WaitingPanel();
        for (const PictureArea* area : areas) {
            if (area == window.Background())
                continue;
            QVERIFY2(window.rect().contains(area->geometry()), qPrintable(area->objectName()));
            if (area->geometry().intersects(panel->geometry()))
                underPanel.insert(area->objectName());
        }
        const std::set<QString> expected{
            QStringLiteral("admission"),    QStringLiteral("medicalRecords"),
            QStringLiteral("appointments"), QStringLiteral("same"),
            QStringLiteral("stock"),        QStringLiteral("snd"),
            QStringLiteral("purchasing")};
        QCOMPARE(underPanel, expected);

        // The waiting panel is shown from the start and lies over the areas it covers.
        QVERIFY(panel->isVisibleTo(&window));
        QWidget* top = window.childAt(
            window.Area("admission")->geometry().intersected(panel->geometry()).center());
        QVERIFY(top == panel || panel->isAncestorOf(top));
        const QLabel* text = panel->Text();
        QCOMPARE(text->text(), QStringLiteral("Aguarde Atualizando"));
        // Whatever font stands in for the designed one, the text is not cut.
        QVERIFY(QFontMetrics(text->font()).horizontalAdvance(text->text()) <= text->width());
        QVERIFY(text->geometry().right() < panel->width());
        QVERIFY(!panel->Indicator()->Animates());
        QCOMPARE(panel->Indicator()->FrameDelay(), 30);
        QVERIFY(!window.StartupRunTimer()->isActive());
        QVERIFY(window.StartupRunTimer()->isSingleShot());
    }

    // A click is a left press and release over the area; a release elsewhere or another
    // button is none.
    void ClickAreaClicks() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PictureArea* area = window.Area("remoteSupport1");
        QSignalSpy clicks(area, &PictureArea::Clicked);
        QTest::mouseClick(area, Qt::LeftButton);
        QCOMPARE(clicks.size(), 1);
        QTest::mouseClick(area, Qt::RightButton);
        QTest::mousePress(area, Qt::LeftButton);
        QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(-5, -5));
        QCOMPARE(clicks.size(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
