// Start-up of the launcher from its own folder: Corvane.ini (each key's reading is tested in
// tests/shell), the caption and the report folder. Each case copies the program into a folder
// whose path holds blanks and non-ASCII letters and starts it from another current directory,
// which holds a decoy Corvane.ini that must never be read.
#include "tests/support/TestCertificate.h"
#include "tests/support/TestHttpServer.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct TRun {
    QMap<QString, QString> Values;
    QStringList Errors;
};

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FRoot;
    int FCase = 0;
    QString FFolder;    // the program's folder of the current case
    QString FElsewhere; // the current directory of the current case

    // A fresh program folder and current directory for a case.
    void NewCase() {
        ++FCase;
        FFolder =
            FRoot.filePath(QStringLiteral("%1/Instalação São José/Pasta com espaços").arg(FCase));
        FElsewhere = FRoot.filePath(QStringLiteral("%1/outro lugar").arg(FCase));
        QVERIFY(QDir().mkpath(FFolder));
        QVERIFY(QDir().mkpath(FElsewhere));
        WriteFile(FElsewhere + QStringLiteral("/Corvane.ini"),
                  "[Servidor]\nLocal Exe=DECOY\nurl=DECOY\nExe Contabi=DECOY\n");
    }

    static void WriteFile(const QString& APath, const QByteArray& ABytes) {
        QFile LFile(APath);
        QVERIFY(LFile.open(QIODevice::WriteOnly));
        QCOMPARE(LFile.write(ABytes), ABytes.size());
    }

    // Copies a program into the case's folder and returns the copy.
    QString Install(const QString& AProgram, const QString& AName) {
        const QString LCopy = FFolder + QLatin1Char('/') + AName;
        if (!QFile::copy(AProgram, LCopy))
            return {};
        QFile::setPermissions(LCopy, QFile::permissions(AProgram));
        return LCopy;
    }

    TRun RunProbe(const QStringList& AArguments = {}) {
        TRun LRun;
        const QString LProbe =
            Install(QStringLiteral(CORVANE_LAUNCHER_PROBE), QStringLiteral("Corvane Probe"));
        if (LProbe.isEmpty()) {
            LRun.Errors << QStringLiteral("probe not installed");
            return LRun;
        }
        QProcess LProcess;
        LProcess.setWorkingDirectory(FElsewhere);
        LProcess.start(LProbe, AArguments);
        if (!LProcess.waitForFinished(120'000) || LProcess.exitStatus() != QProcess::NormalExit ||
            LProcess.exitCode() != 0) {
            LRun.Errors << QStringLiteral("probe failed: ") +
                               QString::fromUtf8(LProcess.readAllStandardError());
            return LRun;
        }
        const QStringList LLines =
            QString::fromUtf8(LProcess.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString& LLine : LLines) {
            const qsizetype LEquals = LLine.indexOf(QLatin1Char('='));
            if (LEquals < 0)
                continue;
            const QString LName = LLine.left(LEquals);
            const QString LValue = LLine.mid(LEquals + 1);
            if (LName == QLatin1String("Error"))
                LRun.Errors << LValue;
            else
                LRun.Values.insert(LName, LValue);
        }
        return LRun;
    }

    bool ReportFolderIn(const QString& AFolder) const {
        return QFileInfo(AFolder + QStringLiteral("/Relatorio")).isDir();
    }

private slots:
    void initTestCase() { QVERIFY(FRoot.isValid()); }

    void startsFromItsOwnFolderWhateverTheCurrentDirectory() {
        NewCase();
        WriteFile(FFolder + QStringLiteral("/Corvane.ini"),
                  "[Servidor]\nurl=http://srv01\nLocal Exe=/mnt/servidor\n"
                  "Exe Contabi=D:\\Cont\\contabil.exe\n");
        const TRun LRun = RunProbe();
        QCOMPARE(LRun.Errors, QStringList());
        QCOMPARE(LRun.Values.value(QStringLiteral("LocalPath")), FFolder + QLatin1Char('/'));
        QCOMPARE(LRun.Values.value(QStringLiteral("Url")), QStringLiteral("http://srv01"));
        QCOMPARE(LRun.Values.value(QStringLiteral("RemotePath")),
                 QStringLiteral("/mnt/servidor\\"));
        QCOMPARE(LRun.Values.value(QStringLiteral("AccountingProgram")),
                 QStringLiteral("D:\\Cont\\contabil.exe"));
        QVERIFY(ReportFolderIn(FFolder));
        QVERIFY(!ReportFolderIn(FElsewhere));

        // Right after start: the caption, the waiting panel, the window's state.
        QCOMPARE(LRun.Values.value(QStringLiteral("Caption")),
                 QStringLiteral("Corvane Plexa [2019.01.00]"));
        QCOMPARE(LRun.Values.value(QStringLiteral("PanelVisible")), QStringLiteral("1"));
        QCOMPARE(LRun.Values.value(QStringLiteral("ClosingEndsProgram")), QStringLiteral("0"));
        QCOMPARE(LRun.Values.value(QStringLiteral("ModuleAreas")), QStringLiteral("18"));
        const QStringList LHint =
            LRun.Values.value(QStringLiteral("ContactHint")).split(QLatin1Char('|'));
        QCOMPARE(LHint.size(), 2);
        QVERIFY(LHint[0].startsWith(QStringLiteral("Telefone : ")));
        QVERIFY(LHint[1].contains(QLatin1Char('@')));
    }

    void existingReportFolderIsKept() {
        NewCase();
        QVERIFY(QDir().mkpath(FFolder + QStringLiteral("/Relatorio/Layouts")));
        const TRun LRun = RunProbe();
        QCOMPARE(LRun.Errors, QStringList());
        QVERIFY(QFileInfo(FFolder + QStringLiteral("/Relatorio/Layouts")).isDir());
    }

    // A file named "Relatorio" keeps the folder from being created: the error report shows
    // the message once, and the window is there with everything start-up did before.
    void reportFolderFailureIsReportedAndStartUpGoesOn() {
        NewCase();
        WriteFile(FFolder + QStringLiteral("/Relatorio"), "not a folder");
        WriteFile(FFolder + QStringLiteral("/Corvane.ini"), "[Servidor]\nurl=http://srv01\n");
        const TRun LRun = RunProbe();
        QCOMPARE(LRun.Errors, QStringList{QStringLiteral(
                                  "Não Criou o Diretório Relatorio. Contacte o Corvane.")});
        QCOMPARE(LRun.Values.value(QStringLiteral("Caption")),
                 QStringLiteral("Corvane Plexa [2019.01.00]"));
        QCOMPARE(LRun.Values.value(QStringLiteral("Url")), QStringLiteral("http://srv01"));
        QCOMPARE(LRun.Values.value(QStringLiteral("ModuleAreas")), QStringLiteral("18"));
        QVERIFY(QFileInfo(FFolder + QStringLiteral("/Relatorio")).isFile());
    }

    // A file service whose certificate the hospital's own authority signed: "ca" names that
    // authority's file, relative to the folder of Corvane.ini, and the start-up run fetches
    // through it; without the key the certificate is refused and nothing is fetched.
    void serviceCertifiedByTheHospitalsOwnAuthority_data() {
        QTest::addColumn<bool>("withKey");
        QTest::newRow("with ca") << true;
        QTest::newRow("without ca") << false;
    }
    void serviceCertifiedByTheHospitalsOwnAuthority() {
        QFETCH(bool, withKey);
        NewCase();
        const corvane::test::TTestCertificate LCertificate =
            corvane::test::MakeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});
        QVERIFY(QDir().mkpath(FFolder + QStringLiteral("/certificados")));
        WriteFile(FFolder + QStringLiteral("/certificados/hospital.pem"),
                  QByteArray::fromStdString(LCertificate.CertificatePEM));
        corvane::test::TTestHTTPServer LService(
            [](const corvane::test::TRecordedRequest& ARequest) {
                using corvane::test::TTestAnswer;
                if (ARequest.Target.rfind("/folderlist", 0) == 0)
                    return TTestAnswer::Make(
                        200, R"([{"fileName":"gds32.dll","age":"2024-05-01T10:20:30.000"}])",
                        "application/json");
                return TTestAnswer::Make(200, "gds32 do servidor", "application/octet-stream");
            },
            LCertificate);
        QByteArray LIni = "[Servidor]\nurl=" + QByteArray::fromStdString(LService.BaseURL()) + "\n";
        if (withKey)
            LIni += "ca=certificados\\hospital.pem\n";
        WriteFile(FFolder + QStringLiteral("/Corvane.ini"), LIni);

        const TRun LRun = RunProbe({QStringLiteral("--start-up-run")});
        QFile LFetched(FFolder + QStringLiteral("/gds32.dll"));
        if (withKey) {
            QCOMPARE(LRun.Errors, QStringList());
            QVERIFY(LFetched.open(QIODevice::ReadOnly));
            QCOMPARE(LFetched.readAll(), QByteArray("gds32 do servidor"));
            QVERIFY2(LRun.Values.value(QStringLiteral("RunCaption"))
                         .startsWith(QStringLiteral("Corvane Plexa Tempo do update : ")),
                     qPrintable(LRun.Values.value(QStringLiteral("RunCaption"))));
        } else {
            QCOMPARE(LRun.Errors.size(), 1);
            QVERIFY2(LRun.Errors[0].startsWith(
                         QStringLiteral("REST request failed: SSL certificate problem")),
                     qPrintable(LRun.Errors[0]));
            QVERIFY(!LFetched.exists());
            QCOMPARE(LRun.Values.value(QStringLiteral("RunCaption")),
                     QStringLiteral("Corvane Plexa [2019.01.00]"));
        }
        QCOMPARE(LService.RequestCount(), withKey ? size_t(2) : size_t(0));
    }

    // The real program, started from another current directory, makes its report folder in
    // its own folder and keeps running.
    void realLauncherStartsFromItsOwnFolder() {
        NewCase();
        const QString LLauncher =
            Install(QStringLiteral(CORVANE_LAUNCHER_EXE), QStringLiteral("Corvane.EXE"));
        QVERIFY(!LLauncher.isEmpty());
        QProcess LProcess;
        LProcess.setWorkingDirectory(FElsewhere);
        LProcess.start(LLauncher, {});
        QVERIFY(LProcess.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(ReportFolderIn(FFolder), 60'000);
        QCOMPARE(LProcess.state(), QProcess::Running);
        QVERIFY(!ReportFolderIn(FElsewhere));
        LProcess.kill();
        QVERIFY(LProcess.waitForFinished());
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
