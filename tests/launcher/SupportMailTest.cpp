// The mail area's click and the "Falha" dialog it shows for each result. A stand-in
// xdg-email on a PATH of the test's own is looked for at the first click.
#include "Bk.VCL.Dialogs.MessageForm.h"
#include "Bk.VCL.Dialogs.TransparentMemo.h"
#include "Corvane.Contacts.h"
#include "Corvane.Image.h"
#include "Corvane.SupportMail.h"
#include "Unit1.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>

using corvane::TMessageForm;

namespace {

struct TShown {
    bool Shown = false;
    QString Caption;
    QString Text;
};

// Runs AAct; a dialog that comes up meanwhile is read and closed.
TShown WhileActing(const std::function<void()>& AAct) {
    TShown LShown;
    QTimer LWatch;
    QObject::connect(&LWatch, &QTimer::timeout, [&] {
        auto* LForm = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
        if (!LForm || !LForm->isVisible())
            return;
        LShown.Shown = true;
        LShown.Caption = LForm->windowTitle();
        if (auto* LMemo = LForm->findChild<corvane::TTransparentMemo*>())
            LShown.Text = LMemo->toPlainText();
        LForm->done(0);
    });
    LWatch.start(10);
    AAct();
    return LShown;
}

} // namespace

class SupportMailTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FTools;

    void WriteTool(int AExitCode) {
        QFile LTool(FTools.filePath(QStringLiteral("xdg-email")));
        QVERIFY(LTool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        LTool.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > \"%1\"\nexit %2\n")
                        .arg(FTools.filePath(QStringLiteral("link")))
                        .arg(AExitCode)
                        .toUtf8());
        LTool.close();
        LTool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private slots:
    void initTestCase() {
        QVERIFY(FTools.isValid());
        qputenv("PATH", FTools.path().toUtf8());
    }

    void resultShowsFalhaDialog_data() {
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("text");
        QTest::newRow("success") << 0 << false << QString();
        QTest::newRow("no mail tool")
            << 1 << true
            << QStringLiteral("The user canceled one of the dialog boxes; no message was sent.");
        QTest::newRow("listed") << 14 << true
                                << QStringLiteral("A recipient did not appear in the address "
                                                  "list; no message was sent.");
        QTest::newRow("unlisted") << 4 << true << QString();
    }

    void resultShowsFalhaDialog() {
        QFETCH(int, result);
        QFETCH(bool, shown);
        QFETCH(QString, text);
        const TShown LShown = WhileActing([result] { corvane::ShowSupportMailResult(result); });
        QCOMPARE(LShown.Shown, shown);
        if (shown) {
            QCOMPARE(LShown.Caption, QStringLiteral("Falha"));
            QCOMPARE(LShown.Text, text);
        }
    }

    // A click on the mail area hands the support address to the mail tool; the tool's failure
    // comes back as the "Falha" dialog, its success as nothing.
    void clickOnMailArea() {
        corvane::TFrmMenu LForm;
        LForm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&LForm));
        WriteTool(4);
        TShown LShown = WhileActing([&] { QTest::mouseClick(LForm.imgEmail, Qt::LeftButton); });
        QVERIFY(LShown.Shown);
        QCOMPARE(LShown.Text,
                 QStringLiteral("One or more unspecified errors occurred; no message was sent."));
        QFile LLink(FTools.filePath(QStringLiteral("link")));
        QVERIFY(LLink.open(QIODevice::ReadOnly));
        QCOMPARE(LLink.readAll(), QByteArray("mailto:") + corvane::SupportEmail);

        WriteTool(0);
        LShown = WhileActing([&] { QTest::mouseClick(LForm.imgEmail, Qt::LeftButton); });
        QVERIFY(!LShown.Shown);
        QCOMPARE(LForm.imgEmail->toolTip(),
                 QStringLiteral("e-mail : ") + QString::fromUtf8(corvane::SupportEmail));
    }
};

QTEST_MAIN(SupportMailTest)
#include "SupportMailTest.moc"
