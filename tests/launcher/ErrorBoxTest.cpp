// The application's default error report.
#include "launcher/ErrorBox.h"
#include "launcher/Application.h"
#include "update/Errors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <string>
#include <vector>

class ErrorReportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { corvane::InitializeApplication(); }

    // The box: captioned with the application title, the error icon, the message, OK alone;
    // it returns once OK is pressed.
    void errorBox() {
        QString LTitle;
        QString LText;
        QMessageBox::Icon LIcon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons LButtons;
        bool LSeen = false;
        QTimer::singleShot(0, this, [&] {
            auto* LBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (LBox == nullptr)
                return;
            LSeen = true;
            LTitle = LBox->windowTitle();
            LText = LBox->text();
            LIcon = LBox->icon();
            LButtons = LBox->standardButtons();
            if (QAbstractButton* LOk = LBox->button(QMessageBox::Ok))
                LOk->click();
            else
                LBox->reject();
        });
        corvane::ShowErrorMessage("Não Criou o Diretório Relatorio. Contacte o Corvane.");
        QVERIFY(LSeen);
        QCOMPARE(LTitle, QStringLiteral("Corvane Plexa"));
        QCOMPARE(LText, QStringLiteral("Não Criou o Diretório Relatorio. Contacte o Corvane."));
        QCOMPARE(LIcon, QMessageBox::Critical);
        QCOMPARE(LButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    // An error escaping a handler is reported once, with its message, and goes no further;
    // a handler that ends normally reports nothing.
    void guardedHandlerReportsAndTheProgramGoesOn() {
        std::vector<std::string> LReported;
        const corvane::TErrorReport LPrevious = corvane::SetErrorReport(
            [&](const std::string& AMessage) { LReported.push_back(AMessage); });
        QVERIFY(bool(LPrevious)); // the box was in place

        bool LAfter = false;
        corvane::RunGuarded([] { throw corvane::EListError("Duplicates not allowed"); });
        LAfter = true;
        corvane::RunGuarded([] {});
        QVERIFY(LAfter);
        QCOMPARE(LReported, std::vector<std::string>{"Duplicates not allowed"});

        const corvane::TErrorReport LMine = corvane::SetErrorReport(LPrevious);
        QVERIFY(bool(LMine));
    }
};

QTEST_MAIN(ErrorReportTest)
#include "ErrorBoxTest.moc"
