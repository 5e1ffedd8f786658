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
    std::unique_ptr<QTemporaryDir> root_;

    QString Root() const { return root_->path(); }

    // Copies program into the folder folder under the root and returns the copy's path.
    QString CopyTo(const QString& program, const QString& folder) {
        const QString instanceFolder = Root() + QLatin1Char('/') + folder;
        QDir().mkpath(instanceFolder);
        const QString copy = instanceFolder + QLatin1Char('/') + QFileInfo(program).fileName();
        if (!QFile::exists(copy) && !QFile::copy(program, copy))
            qFatal("cannot copy %s", qPrintable(program));
        return copy;
    }

    QString Probe(const QString& folder) {
        return CopyTo(QStringLiteral(CORVANE_INSTANCE_PROBE), folder);
    }

    std::unique_ptr<QProcess> Start(const QString& program, const QStringList& args = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), Root() + QStringLiteral("/run"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process->setProcessEnvironment(environment);
        process->start(program, args);
        if (!process->waitForStarted())
            qFatal("cannot start %s", qPrintable(program));
        return process;
    }

    static QString ReadLine(QProcess& process) {
        while (!process.canReadLine())
            if (!process.waitForReadyRead(20000))
                return QStringLiteral("<none>");
        return QString::fromUtf8(process.readLine()).trimmed();
    }

    static void End(QProcess& process) {
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 0);
    }

private slots:
    void init() {
        root_ = std::make_unique<QTemporaryDir>();
        QVERIFY(root_->isValid());
        QVERIFY(QDir().mkpath(Root() + QStringLiteral("/run")));
        QFile::setPermissions(Root() + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void KeyIgnoresLetterCaseOnly() {
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
    void SecondStartHandsOverAndEnds() {
        const QString probe = Probe(QStringLiteral("a"));
        auto first = Start(probe);
        QCOMPARE(ReadLine(*first), QStringLiteral("First"));
        for (int start = 0; start < 2; ++start) {
            auto second = Start(probe, {QStringLiteral("/x"), QStringLiteral("linha dois")});
            QVERIFY(second->waitForFinished(20000));
            QCOMPARE(second->exitStatus(), QProcess::NormalExit);
            QCOMPARE(second->exitCode(), 0);
            QCOMPARE(QString::fromUtf8(second->readAll()).trimmed(), QStringLiteral("Second"));
            QCOMPARE(ReadLine(*first), QStringLiteral("Activated"));
        }
        End(*first);
    }

    void CopyInAnotherFolderRunsBeside() {
        auto first = Start(Probe(QStringLiteral("a")));
        QCOMPARE(ReadLine(*first), QStringLiteral("First"));
        auto other = Start(Probe(QStringLiteral("b")));
        QCOMPARE(ReadLine(*other), QStringLiteral("First"));
        End(*other);
        End(*first);
    }

    void SimultaneousStartsLeaveOne() {
        const QString probe = Probe(QStringLiteral("a"));
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int index = 0; index < 4; ++index)
            starts.push_back(Start(probe));
        int firsts = 0;
        int seconds = 0;
        QProcess* running = nullptr;
        for (auto& process : starts) {
            const QString line = ReadLine(*process);
            if (line == QStringLiteral("First")) {
                ++firsts;
                running = process.get();
            } else if (line == QStringLiteral("Second")) {
                ++seconds;
                QVERIFY(process->waitForFinished(20000));
                QCOMPARE(process->exitCode(), 0);
            }
        }
        QCOMPARE(firsts, 1);
        QCOMPARE(seconds, 3);
        End(*running);
    }

    // A launcher killed without leaving: its lock and socket stay behind, the next start
    // finds the process gone and becomes the first.
    void KilledLauncherLeavesNoObstacle() {
        const QString probe = Probe(QStringLiteral("a"));
        auto killed = Start(probe);
        QCOMPARE(ReadLine(*killed), QStringLiteral("First"));
        killed->kill();
        QVERIFY(killed->waitForFinished(20000));
        auto next = Start(probe);
        QCOMPARE(ReadLine(*next), QStringLiteral("First"));
        End(*next);
    }

    // The self-replacement leaves the registry before its successor starts, while it still runs.
    void LeftRegistryLetsSuccessorRun() {
        const QString probe = Probe(QStringLiteral("a"));
        auto old = Start(probe);
        QCOMPARE(ReadLine(*old), QStringLiteral("First"));
        old->write("leave\n");
        QCOMPARE(ReadLine(*old), QStringLiteral("Left"));
        auto successor = Start(probe);
        QCOMPARE(ReadLine(*successor), QStringLiteral("First"));
        End(*successor);
        End(*old);
    }

    // A successor that could not start gives the registry back: the launcher that goes on is
    // again the one a later start hands over to, unless another launcher took it meanwhile.
    void LauncherGoingOnRejoinsTheRegistry() {
        const QString probe = Probe(QStringLiteral("a"));
        auto old = Start(probe);
        QCOMPARE(ReadLine(*old), QStringLiteral("First"));
        old->write("leave\n");
        QCOMPARE(ReadLine(*old), QStringLiteral("Left"));
        old->write("rejoin\n");
        QCOMPARE(ReadLine(*old), QStringLiteral("Rejoined"));
        auto second = Start(probe);
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(QString::fromUtf8(second->readAll()).trimmed(), QStringLiteral("Second"));
        QCOMPARE(ReadLine(*old), QStringLiteral("Activated"));

        old->write("leave\n");
        QCOMPARE(ReadLine(*old), QStringLiteral("Left"));
        auto successor = Start(probe);
        QCOMPARE(ReadLine(*successor), QStringLiteral("First"));
        old->write("rejoin\n");
        QCOMPARE(ReadLine(*old), QStringLiteral("Outside"));
        End(*successor);
        End(*old);
    }

    // The launcher itself: a second start opens nothing, prints nothing and ends with 0.
    void LauncherSecondStartEndsWithZero() {
        const QString launcher =
            CopyTo(QStringLiteral(CORVANE_LAUNCHER_EXE), QStringLiteral("launcher"));
        auto first = Start(launcher);
        const QString lock = Root() + QStringLiteral("/run/") + corvane::InstanceKey(launcher) +
                             QStringLiteral(".socket");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 20000);
        auto second = Start(launcher);
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        first->terminate();
        QVERIFY(first->waitForFinished(20000));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
