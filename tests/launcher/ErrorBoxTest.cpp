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
    void ErrorBox() {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            seen = true;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        corvane::ShowErrorMessage("Não Criou o Diretório Relatorio. Contacte o Corvane.");
        QVERIFY(seen);
        QCOMPARE(title, QStringLiteral("Corvane Plexa"));
        QCOMPARE(text, QStringLiteral("Não Criou o Diretório Relatorio. Contacte o Corvane."));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    // An error escaping a handler is reported once, with its message, and goes no further;
    // a handler that ends normally reports nothing.
    void GuardedHandlerReportsAndTheProgramGoesOn() {
        std::vector<std::string> reported;
        const corvane::ErrorReport previous = corvane::SetErrorReport(
            [&](const std::string& message) { reported.push_back(message); });
        QVERIFY(bool(previous)); // the box was in place

        bool after = false;
        corvane::RunGuarded([] { throw corvane::ListError("Duplicates not allowed"); });
        after = true;
        corvane::RunGuarded([] {});
        QVERIFY(after);
        QCOMPARE(reported, std::vector<std::string>{"Duplicates not allowed"});

        const corvane::ErrorReport mine = corvane::SetErrorReport(previous);
        QVERIFY(bool(mine));
    }
};

QTEST_MAIN(ErrorReportTest)
#include "ErrorBoxTest.moc"
