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

struct Run {
    QMap<QString, QString> values;
    QStringList errors;
};

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;
    int case_ = 0;
    QString folder_;    // the program's folder of the current case
    QString elsewhere_; // the current directory of the current case

    // A fresh program folder and current directory for a case.
    void NewCase() {
        ++case_;
        folder_ =
            root_.filePath(QStringLiteral("%1/Instalação São José/Pasta com espaços").arg(case_));
        elsewhere_ = root_.filePath(QStringLiteral("%1/outro lugar").arg(case_));
        QVERIFY(QDir().mkpath(folder_));
        QVERIFY(QDir().mkpath(elsewhere_));
        WriteFile(elsewhere_ + QStringLiteral("/Corvane.ini"),
                  "[Servidor]\nLocal Exe=DECOY\nurl=DECOY\nExe Contabi=DECOY\n");
    }

    static void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    // Copies a program into the case's folder and returns the copy.
    QString Install(const QString& program, const QString& name) {
        const QString copy = folder_ + QLatin1Char('/') + name;
        if (!QFile::copy(program, copy))
            return {};
        QFile::setPermissions(copy, QFile::permissions(program));
        return copy;
    }

    Run RunProbe(const QStringList& arguments = {}) {
        Run run;
        const QString probe =
            Install(QStringLiteral(CORVANE_LAUNCHER_PROBE), QStringLiteral("Corvane Probe"));
        if (probe.isEmpty()) {
            run.errors << QStringLiteral("probe not installed");
            return run;
        }
        QProcess process;
        process.setWorkingDirectory(elsewhere_);
        process.start(probe, arguments);
        if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            run.errors << QStringLiteral("probe failed: ") +
                              QString::fromUtf8(process.readAllStandardError());
            return run;
        }
        const QStringList lines =
            QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals < 0)
                continue;
            const QString name = line.left(equals);
            const QString value = line.mid(equals + 1);
            if (name == QLatin1String("Error"))
                run.errors << value;
            else
                run.values.insert(name, value);
        }
        return run;
    }

    bool ReportFolderIn(const QString& folder) const {
        return QFileInfo(folder + QStringLiteral("/Relatorio")).isDir();
    }

private slots:
    void initTestCase() { QVERIFY(root_.isValid()); }

    void StartsFromItsOwnFolderWhateverTheCurrentDirectory() {
        NewCase();
        WriteFile(folder_ + QStringLiteral("/Corvane.ini"),
                  "[Servidor]\nurl=http://srv01\nLocal Exe=/mnt/servidor\n"
                  "Exe Contabi=D:\\Cont\\contabil.exe\n");
        const Run run = RunProbe();
        QCOMPARE(run.errors, QStringList());
        QCOMPARE(run.values.value(QStringLiteral("LocalPath")), folder_ + QLatin1Char('/'));
        QCOMPARE(run.values.value(QStringLiteral("Url")), QStringLiteral("http://srv01"));
        QCOMPARE(run.values.value(QStringLiteral("RemotePath")), QStringLiteral("/mnt/servidor\\"));
        QCOMPARE(run.values.value(QStringLiteral("AccountingProgram")),
                 QStringLiteral("D:\\Cont\\contabil.exe"));
        QVERIFY(ReportFolderIn(folder_));
        QVERIFY(!ReportFolderIn(elsewhere_));

        // Right after start: the caption, the waiting panel, the window's state.
        QCOMPARE(run.values.value(QStringLiteral("Caption")),
                 QStringLiteral("Corvane Plexa [2019.01.00]"));
        QCOMPARE(run.values.value(QStringLiteral("PanelVisible")), QStringLiteral("1"));
        QCOMPARE(run.values.value(QStringLiteral("ClosingEndsProgram")), QStringLiteral("0"));
        QCOMPARE(run.values.value(QStringLiteral("ModuleAreas")), QStringLiteral("18"));
        const QStringList hint =
            run.values.value(QStringLiteral("ContactHint")).split(QLatin1Char('|'));
        QCOMPARE(hint.size(), 2);
        QVERIFY(hint[0].startsWith(QStringLiteral("Telefone : ")));
        QVERIFY(hint[1].contains(QLatin1Char('@')));
    }

    void ExistingReportFolderIsKept() {
        NewCase();
        QVERIFY(QDir().mkpath(folder_ + QStringLiteral("/Relatorio/Layouts")));
        const Run run = RunProbe();
        QCOMPARE(run.errors, QStringList());
        QVERIFY(QFileInfo(folder_ + QStringLiteral("/Relatorio/Layouts")).isDir());
    }

    // A file named "Relatorio" keeps the folder from being created: the error report shows
    // the message once, and the window is there with everything start-up did before.
    void ReportFolderFailureIsReportedAndStartUpGoesOn() {
        NewCase();
        WriteFile(folder_ + QStringLiteral("/Relatorio"), "not a folder");
        WriteFile(folder_ + QStringLiteral("/Corvane.ini"), "[Servidor]\nurl=http://srv01\n");
        const Run run = RunProbe();
        QCOMPARE(run.errors, QStringList{QStringLiteral(
                                 "Não Criou o Diretório Relatorio. Contacte o Corvane.")});
        QCOMPARE(run.values.value(QStringLiteral("Caption")),
                 QStringLiteral("Corvane Plexa [2019.01.00]"));
        QCOMPARE(run.values.value(QStringLiteral("Url")), QStringLiteral("http://srv01"));
        QCOMPARE(run.values.value(QStringLiteral("ModuleAreas")), QStringLiteral("18"));
        QVERIFY(QFileInfo(folder_ + QStringLiteral("/Relatorio")).isFile());
    }

    // A file service whose certificate the hospital's own authority signed: "ca" names that
    // authority's file, relative to the folder of Corvane.ini, and the start-up run fetches
    // through it; without the key the certificate is refused and nothing is fetched.
    void ServiceCertifiedByTheHospitalsOwnAuthority_data() {
        QTest::addColumn<bool>("withKey");
        QTest::newRow("with ca") << true;
        QTest::newRow("without ca") << false;
    }
    void ServiceCertifiedByTheHospitalsOwnAuthority() {
        QFETCH(bool, withKey);
        NewCase();
        const corvane::test::TestCertificate certificate =
            corvane::test::MakeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});
        QVERIFY(QDir().mkpath(folder_ + QStringLiteral("/certificados")));
        WriteFile(folder_ + QStringLiteral("/certificados/hospital.pem"),
                  QByteArray::fromStdString(certificate.certificatePem));
        corvane::test::TestHttpServer service(
            [](const corvane::test::RecordedRequest& request) {
                using corvane::test::TestAnswer;
                if (request.target.rfind("/folderlist", 0) == 0)
                    return TestAnswer::Make(
                        200, R"([{"fileName":"gds32.dll","age":"2024-05-01T10:20:30.000"}])",
                        "application/json");
                return TestAnswer::Make(200, "gds32 do servidor", "application/octet-stream");
            },
            certificate);
        QByteArray ini = "[Servidor]\nurl=" + QByteArray::fromStdString(service.BaseURL()) + "\n";
        if (withKey)
            ini += "ca=certificados\\hospital.pem\n";
        WriteFile(folder_ + QStringLiteral("/Corvane.ini"), ini);

        const Run run = RunProbe({QStringLiteral("--start-up-run")});
        QFile fetched(folder_ + QStringLiteral("/gds32.dll"));
        if (withKey) {
            QCOMPARE(run.errors, QStringList());
            QVERIFY(fetched.open(QIODevice::ReadOnly));
            QCOMPARE(fetched.readAll(), QByteArray("gds32 do servidor"));
            QVERIFY2(run.values.value(QStringLiteral("RunCaption"))
                         .startsWith(QStringLiteral("Corvane Plexa Tempo do update : ")),
                     qPrintable(run.values.value(QStringLiteral("RunCaption"))));
        } else {
            QCOMPARE(run.errors.size(), 1);
            QVERIFY2(run.errors[0].startsWith(
                         QStringLiteral("REST request failed: SSL certificate problem")),
                     qPrintable(run.errors[0]));
            QVERIFY(!fetched.exists());
            QCOMPARE(run.values.value(QStringLiteral("RunCaption")),
                     QStringLiteral("Corvane Plexa [2019.01.00]"));
        }
        QCOMPARE(service.RequestCount(), withKey ? size_t(2) : size_t(0));
    }

    // The real program, started from another current directory, makes its report folder in
    // its own folder and keeps running.
    void RealLauncherStartsFromItsOwnFolder() {
        NewCase();
        const QString launcher =
            Install(QStringLiteral(CORVANE_LAUNCHER_EXE), QStringLiteral("Corvane.EXE"));
        QVERIFY(!launcher.isEmpty());
        QProcess process;
        process.setWorkingDirectory(elsewhere_);
        process.start(launcher, {});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(ReportFolderIn(folder_), 60'000);
        QCOMPARE(process.state(), QProcess::Running);
        QVERIFY(!ReportFolderIn(elsewhere_));
        process.kill();
        QVERIFY(process.waitForFinished());
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
