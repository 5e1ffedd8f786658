// The main window as its construction leaves it, before FormCreate: the module table, the
// components and their places.
#include "launcher/MainWindow.h"
#include "launcher/ActivityIndicator.h"
#include "launcher/Application.h"
#include "launcher/PictureArea.h"
#include "update/Errors.h"

#include <QFontMetrics>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <set>

using corvane::TFrmMenu;
using corvane::TImage;
using corvane::TModuleOptions;

class FrmMenuTest : public QObject {
    Q_OBJECT

private:
    static TImage* Area(const TFrmMenu& AForm, const QString& AName) {
        return AForm.findChild<TImage*>(AName, Qt::FindDirectChildrenOnly);
    }

private slots:
    void initTestCase() { corvane::InitializeApplication(); }

    void moduleTable_data() {
        QTest::addColumn<QString>("clickArea");
        QTest::addColumn<QString>("moduleName");
        QTest::addColumn<bool>("additionalFiles");
        const struct {
            const char* Area;
            const char* Module;
            bool Additional;
        } LRows[] = {
            {"imgAdmSistema", "Vostrel.exe", true},
            {"imgAgendaConsulta", "Quimba.exe", true},
            {"imgCadGeral", "Drelvo.exe", true},
            {"imgCompras", "Parnox.exe", true},
            {"imgControlEquip", "Sulvex.exe", true},
            {"imgCusto", "Tondril.exe", true},
            {"imgEstoque", "Morvik.exe", true},
            {"imgExames", "Yestra.exe", true},
            {"imgFaturamento", "Falben.exe", true},
            {"imgFinanceiro", "Gristo.exe", true},
            {"imgGlosa", "Hulvan.exe", true},
            {"imgInternacao", "Ixoret.exe", true},
            {"imgProntuario", "Kovlen.exe", true},
            {"imgSame", "Lumbra.exe", true},
            {"imgSND", "Nerzik.exe", true},
            {"imgTelemarketing", "Ospral.exe", true},
            {"imgSuporteRemoto1", "TeamViewerQS_pt.exe", false},
            {"imgSuporteRemoto2", "Supremo.exe", false},
        };
        for (const auto& LRow : LRows)
            QTest::newRow(LRow.Area) << QString::fromUtf8(LRow.Area)
                                     << QString::fromUtf8(LRow.Module) << LRow.Additional;
    }

    // Every row is there right after construction, before the configuration is read.
    void moduleTable() {
        QFETCH(QString, clickArea);
        QFETCH(QString, moduleName);
        QFETCH(bool, additionalFiles);
        TFrmMenu LForm;
        QVERIFY(LForm.LocalPath().empty());
        QCOMPARE(LForm.ModuleOptions().Count(), size_t{18});
        const TImage* LArea = Area(LForm, clickArea);
        QVERIFY(LArea != nullptr);
        const TModuleOptions::TModuleInfo LInfo = LForm.ModuleOptions().GetModule(LArea);
        QCOMPARE(QString::fromStdString(LInfo.FModuleName), moduleName);
        QCOMPARE(LInfo.FAdditionalFiles, additionalFiles);
    }

    void componentsOutsideTheTableHaveNoModule() {
        TFrmMenu LForm;
        for (const QObject* LOther :
             std::initializer_list<const QObject*>{LForm.imgEmail, LForm.imgAeC, LForm.Image1,
                                                   LForm.pnlTemporizador, &LForm, nullptr})
            QCOMPARE(LForm.ModuleOptions().GetModule(LOther), TModuleOptions::TModuleInfo());
    }

    // The key is the object itself: another area of the same name and class is not found,
    // and a second entry for one area is refused without touching the first.
    void moduleOptionsKeyByIdentity() {
        QWidget LParent;
        TImage LFirst(&LParent);
        TImage LTwin(&LParent);
        LFirst.setObjectName(QStringLiteral("imgEstoque"));
        LTwin.setObjectName(QStringLiteral("imgEstoque"));
        TModuleOptions LOptions;
        LOptions.AddModule(&LFirst, "Morvik.exe", true);
        QCOMPARE(LOptions.GetModule(&LTwin), TModuleOptions::TModuleInfo());
        try {
            LOptions.AddModule(&LFirst, "Outro.exe", false);
            QFAIL("a second entry was accepted");
        } catch (const corvane::EListError& LError) {
            QCOMPARE(LError.what(), "Duplicates not allowed");
        }
        QCOMPARE(LOptions.GetModule(&LFirst), TModuleOptions::TModuleInfo("Morvik.exe", true));
        QCOMPARE(LOptions.Count(), size_t{1});
    }

    void windowAndComponents() {
        TFrmMenu LForm;
        QCOMPARE(LForm.windowTitle(), QStringLiteral("FrmMenu"));
        QCOMPARE(LForm.size(), QSize(1018, 708));
        QCOMPARE(LForm.minimumSize(), LForm.maximumSize());
        QCOMPARE(LForm.Image1->geometry(), LForm.rect());
        QVERIFY(!(LForm.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(LForm.windowFlags() & Qt::WindowMaximizeButtonHint));

        const QList<TImage*> LAreas = LForm.findChildren<TImage*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(LAreas.size(), 21); // the background and twenty areas over it
        std::set<QString> LUnderPanel;
        for (const TImage* LArea : LAreas) {
            if (LArea == LForm.Image1)
                continue;
            QVERIFY2(LForm.rect().contains(LArea->geometry()), qPrintable(LArea->objectName()));
            QCOMPARE(LArea->cursor().shape(), Qt::PointingHandCursor);
            if (LArea->geometry().intersects(LForm.pnlTemporizador->geometry()))
                LUnderPanel.insert(LArea->objectName());
        }
        const std::set<QString> LExpected{
            QStringLiteral("imgInternacao"),     QStringLiteral("imgProntuario"),
            QStringLiteral("imgAgendaConsulta"), QStringLiteral("imgSame"),
            QStringLiteral("imgEstoque"),        QStringLiteral("imgSND"),
            QStringLiteral("imgCompras")};
        QCOMPARE(LUnderPanel, LExpected);

        // The waiting panel is shown from the start and lies over the areas it covers.
        QVERIFY(LForm.pnlTemporizador->isVisibleTo(&LForm));
        QWidget* LTop = LForm.childAt(LForm.imgInternacao->geometry()
                                          .intersected(LForm.pnlTemporizador->geometry())
                                          .center());
        QVERIFY(LTop == LForm.pnlTemporizador || LForm.pnlTemporizador->isAncestorOf(LTop));
        QCOMPARE(LForm.Label1->text(), QStringLiteral("Aguarde Atualizando"));
        // Whatever font stands in for the designed one, the caption is not cut.
        QVERIFY(QFontMetrics(LForm.Label1->font()).horizontalAdvance(LForm.Label1->text()) <=
                LForm.Label1->width());
        QVERIFY(LForm.Label1->geometry().right() < LForm.pnlTemporizador->width());
        QVERIFY(!LForm.aciTemporizador->Animate());
        QCOMPARE(LForm.aciTemporizador->FrameDelay(), 30);
        QVERIFY(!LForm.Timer1->isActive());
        QCOMPARE(LForm.Timer1->interval(), 200);
        QVERIFY(LForm.Timer1->isSingleShot());
        QVERIFY(LForm.imgEmail->toolTip().startsWith(QStringLiteral("e-mail : ")));
    }

    // A click is a left press and release over the area; a release elsewhere or another
    // button is none.
    void clickAreaClicks() {
        TFrmMenu LForm;
        LForm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&LForm));
        QSignalSpy LClicks(LForm.imgSuporteRemoto1, &TImage::clicked);
        QTest::mouseClick(LForm.imgSuporteRemoto1, Qt::LeftButton);
        QCOMPARE(LClicks.size(), 1);
        QTest::mouseClick(LForm.imgSuporteRemoto1, Qt::RightButton);
        QTest::mousePress(LForm.imgSuporteRemoto1, Qt::LeftButton);
        QTest::mouseRelease(LForm.imgSuporteRemoto1, Qt::LeftButton, {}, QPoint(-5, -5));
        QCOMPARE(LClicks.size(), 1);
    }

    void frmMenuRefersToTheWindowWhileItLives() {
        {
            TFrmMenu LForm;
            QCOMPARE(corvane::FrmMenu, &LForm);
        }
        QCOMPARE(corvane::FrmMenu, nullptr);
    }
};

QTEST_MAIN(FrmMenuTest)
#include "MainWindowTest.moc"
