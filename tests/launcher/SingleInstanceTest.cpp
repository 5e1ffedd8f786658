// One launcher per executable file: real processes started from copies of the instance probe
// (and of the launcher itself) in folders of their own, with a runtime folder of the test's.
#include "launcher/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

class SingleInstanceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FRoot;

    QString Root() const { return FRoot->path(); }

    // Copies AProgram into the folder AFolder under the root and returns the copy's path.
    QString CopyTo(const QString& AProgram, const QString& AFolder) {
        const QString LFolder = Root() + QLatin1Char('/') + AFolder;
        QDir().mkpath(LFolder);
        const QString LCopy = LFolder + QLatin1Char('/') + QFileInfo(AProgram).fileName();
        if (!QFile::exists(LCopy) && !QFile::copy(AProgram, LCopy))
            qFatal("cannot copy %s", qPrintable(AProgram));
        return LCopy;
    }

    QString Probe(const QString& AFolder) {
        return CopyTo(QStringLiteral(CORVANE_INSTANCE_PROBE), AFolder);
    }

    std::unique_ptr<QProcess> Start(const QString& AProgram, const QStringList& AArgs = {}) {
        auto LProcess = std::make_unique<QProcess>();
        QProcessEnvironment LEnvironment = QProcessEnvironment::systemEnvironment();
        LEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), Root() + QStringLiteral("/run"));
        LEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        LProcess->setProcessEnvironment(LEnvironment);
        LProcess->start(AProgram, AArgs);
        if (!LProcess->waitForStarted())
            qFatal("cannot start %s", qPrintable(AProgram));
        return LProcess;
    }

    static QString ReadLine(QProcess& AProcess) {
        while (!AProcess.canReadLine())
            if (!AProcess.waitForReadyRead(20000))
                return QStringLiteral("<none>");
        return QString::fromUtf8(AProcess.readLine()).trimmed();
    }

    static void End(QProcess& AProcess) {
        AProcess.closeWriteChannel();
        QVERIFY(AProcess.waitForFinished(20000));
        QCOMPARE(AProcess.exitCode(), 0);
    }

private slots:
    void init() {
        FRoot = std::make_unique<QTemporaryDir>();
        QVERIFY(FRoot->isValid());
        QVERIFY(QDir().mkpath(Root() + QStringLiteral("/run")));
        QFile::setPermissions(Root() + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void keyIgnoresLetterCaseOnly() {
        using corvane::InstanceKey;
        QCOMPARE(InstanceKey(QStringLiteral("/opt/Corvane/Corvane.EXE")),
                 InstanceKey(QStringLiteral("/OPT/corvane/corvane.exe")));
        QVERIFY(InstanceKey(QStringLiteral("/opt/Corvane/Corvane.EXE")) !=
                InstanceKey(QStringLiteral("/opt/Corvane2/Corvane.EXE")));
        QVERIFY(InstanceKey(QStringLiteral("/opt/Ação/x")) ==
                InstanceKey(QStringLiteral("/opt/AÇÃO/X")));
    }

    // The second start ends with 0 once the first has come forward; the first runs on and
    // answers a third start the same way.
    void secondStartHandsOverAndEnds() {
        const QString LProbe = Probe(QStringLiteral("a"));
        auto LFirst = Start(LProbe);
        QCOMPARE(ReadLine(*LFirst), QStringLiteral("First"));
        for (int LStart = 0; LStart < 2; ++LStart) {
            auto LSecond = Start(LProbe, {QStringLiteral("/x"), QStringLiteral("linha dois")});
            QVERIFY(LSecond->waitForFinished(20000));
            QCOMPARE(LSecond->exitStatus(), QProcess::NormalExit);
            QCOMPARE(LSecond->exitCode(), 0);
            QCOMPARE(QString::fromUtf8(LSecond->readAll()).trimmed(), QStringLiteral("Second"));
            QCOMPARE(ReadLine(*LFirst), QStringLiteral("Activated"));
        }
        End(*LFirst);
    }

    void copyInAnotherFolderRunsBeside() {
        auto LFirst = Start(Probe(QStringLiteral("a")));
        QCOMPARE(ReadLine(*LFirst), QStringLiteral("First"));
        auto LOther = Start(Probe(QStringLiteral("b")));
        QCOMPARE(ReadLine(*LOther), QStringLiteral("First"));
        End(*LOther);
        End(*LFirst);
    }

    void simultaneousStartsLeaveOne() {
        const QString LProbe = Probe(QStringLiteral("a"));
        std::vector<std::unique_ptr<QProcess>> LStarts;
        for (int LIndex = 0; LIndex < 4; ++LIndex)
            LStarts.push_back(Start(LProbe));
        int LFirsts = 0;
        int LSeconds = 0;
        QProcess* LRunning = nullptr;
        for (auto& LProcess : LStarts) {
            const QString LLine = ReadLine(*LProcess);
            if (LLine == QStringLiteral("First")) {
                ++LFirsts;
                LRunning = LProcess.get();
            } else if (LLine == QStringLiteral("Second")) {
                ++LSeconds;
                QVERIFY(LProcess->waitForFinished(20000));
                QCOMPARE(LProcess->exitCode(), 0);
            }
        }
        QCOMPARE(LFirsts, 1);
        QCOMPARE(LSeconds, 3);
        End(*LRunning);
    }

    // A launcher killed without leaving: its lock and socket stay behind, the next start
    // finds the process gone and becomes the first.
    void killedLauncherLeavesNoObstacle() {
        const QString LProbe = Probe(QStringLiteral("a"));
        auto LKilled = Start(LProbe);
        QCOMPARE(ReadLine(*LKilled), QStringLiteral("First"));
        LKilled->kill();
        QVERIFY(LKilled->waitForFinished(20000));
        auto LNext = Start(LProbe);
        QCOMPARE(ReadLine(*LNext), QStringLiteral("First"));
        End(*LNext);
    }

    // The self-replacement leaves the registry before its successor starts, while it still runs.
    void leftRegistryLetsSuccessorRun() {
        const QString LProbe = Probe(QStringLiteral("a"));
        auto LOld = Start(LProbe);
        QCOMPARE(ReadLine(*LOld), QStringLiteral("First"));
        LOld->write("leave\n");
        QCOMPARE(ReadLine(*LOld), QStringLiteral("Left"));
        auto LSuccessor = Start(LProbe);
        QCOMPARE(ReadLine(*LSuccessor), QStringLiteral("First"));
        End(*LSuccessor);
        End(*LOld);
    }

    // The launcher itself: a second start opens nothing, prints nothing and ends with 0.
    void launcherSecondStartEndsWithZero() {
        const QString LLauncher =
            CopyTo(QStringLiteral(CORVANE_LAUNCHER_EXE), QStringLiteral("launcher"));
        auto LFirst = Start(LLauncher);
        const QString LLock = Root() + QStringLiteral("/run/") + corvane::InstanceKey(LLauncher) +
                              QStringLiteral(".socket");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(LLock), 20000);
        auto LSecond = Start(LLauncher);
        QVERIFY(LSecond->waitForFinished(20000));
        QCOMPARE(LSecond->exitStatus(), QProcess::NormalExit);
        QCOMPARE(LSecond->exitCode(), 0);
        QCOMPARE(LFirst->state(), QProcess::Running);
        LFirst->terminate();
        QVERIFY(LFirst->waitForFinished(20000));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
