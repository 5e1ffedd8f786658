// The launcher's self-replacement end to end, on a real X display (Xvfb, no window manager):
// a launcher started from its install folder, whose server folder holds a newer Corvane.EXE,
// shows the success notice on its window's first activation, ends when the notice is closed,
// and the new version is the one running afterwards: one launcher, not zero, not two. xdotool
// plays the user (focus, Ctrl+C on the notice to read its text, Return to close it).
#include "update/LauncherVersion.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <system_error>

#include <sys/types.h>

namespace {

const QString NewVersion = QStringLiteral("2019.1.0.9");
const QString SuccessNotice = QString::fromUtf8("Aplicação atualizada com sucesso!");

// Runs a short helper program; false when it fails. Its standard output goes to AOutput.
bool Run(const QString& AProgram, const QStringList& AArguments, QString* AOutput = nullptr) {
    QProcess LProcess;
    LProcess.start(AProgram, AArguments);
    if (!LProcess.waitForFinished(20'000) || LProcess.exitStatus() != QProcess::NormalExit ||
        LProcess.exitCode() != 0)
        return false;
    if (AOutput)
        *AOutput = QString::fromUtf8(LProcess.readAllStandardOutput());
    return true;
}

// The visible windows of a process whose title matches the pattern (xdotool's regex).
QStringList Windows(qint64 APid, const QString& ATitlePattern) {
    QString LOutput;
    Run(QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
         QStringLiteral("--pid"), QString::number(APid), QStringLiteral("--name"), ATitlePattern},
        &LOutput);
    return LOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Gives the window the input focus, as a user's click would, and then types the keys.
bool FocusAndType(const QString& AWindow, const QStringList& AKeys = {}) {
    QStringList LArguments{QStringLiteral("windowfocus"), QStringLiteral("--sync"), AWindow};
    if (!AKeys.isEmpty())
        LArguments << QStringLiteral("key") << AKeys;
    return Run(QStringLiteral("xdotool"), LArguments);
}

// The processes whose executable is the file at APath (this user's, as /proc shows them).
QList<qint64> ProcessesRunning(const QString& APath) {
    namespace fs = std::filesystem;
    const fs::path LTarget = APath.toStdString();
    QList<qint64> LPids;
    std::error_code LError;
    for (const fs::directory_entry& LEntry : fs::directory_iterator("/proc", LError)) {
        const std::string LName = LEntry.path().filename().string();
        if (LName.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code LLinkError;
        if (fs::read_symlink(LEntry.path() / "exe", LLinkError) == LTarget && !LLinkError)
            LPids << std::stoll(LName);
    }
    return LPids;
}

QString VersionOf(const QString& APath) {
    return QString::fromStdString(corvane::FileVersionOf(APath.toStdString()));
}

// Ends every launcher that ran from the install folder, under any of its names, however the
// test ends.
struct TLauncherReaper {
    QString Folder;
    QProcess* Started;
    ~TLauncherReaper() {
        for (const QString& LName : {QStringLiteral("Corvane.EXE"), QStringLiteral("Corvane.OLD"),
                                     QStringLiteral("Corvane.NEW")})
            for (const qint64 LPid : ProcessesRunning(Folder + QLatin1Char('/') + LName))
                ::kill(static_cast<pid_t>(LPid), SIGKILL);
        Started->kill();
        Started->waitForFinished(10'000);
    }
};

} // namespace

class SelfReplacementTest : public QObject {
    Q_OBJECT

private slots:
    void newerServerCopyReplacesTheRunningLauncher() {
        QTemporaryDir LRoot;
        QVERIFY(LRoot.isValid());
        const QString LBase = QFileInfo(LRoot.path()).canonicalFilePath();
        // A folder name with blanks and non-ASCII letters, as hospitals' installs have.
        const QString LInstall = LBase + QString::fromUtf8("/Instalação São José");
        const QString LServer = LBase + QStringLiteral("/servidor");
        QVERIFY(QDir().mkpath(LInstall));
        QVERIFY(QDir().mkpath(LServer));

        const QString LBuilt = QStringLiteral(CORVANE_LAUNCHER_EXE);
        const QString LOldVersion = VersionOf(LBuilt);
        QVERIFY(!LOldVersion.isEmpty());
        QVERIFY(LOldVersion != NewVersion);
        const QString LLocalCopy = LInstall + QStringLiteral("/Corvane.EXE");
        QVERIFY(QFile::copy(LBuilt, LLocalCopy));
        QVERIFY(QFile::setPermissions(LLocalCopy, QFile::permissions(LBuilt)));
        QVERIFY(Run(QStringLiteral(CORVANE_MAKE_VERSIONED_EXE),
                    {QStringLiteral("restamp"), LBuilt, LServer + QStringLiteral("/Corvane.EXE"),
                     NewVersion}));
        QCOMPARE(VersionOf(LServer + QStringLiteral("/Corvane.EXE")), NewVersion);
        QFile LIni(LInstall + QStringLiteral("/Corvane.ini"));
        QVERIFY(LIni.open(QIODevice::WriteOnly));
        LIni.write(("[Servidor]\nLocal Exe=" + LServer + "\n").toUtf8());
        LIni.close();

        // Corvane.EXE, .NEW and .OLD live in the current directory: the install folder.
        QProcess LLauncher;
        const TLauncherReaper LReaper{LInstall, &LLauncher};
        LLauncher.setWorkingDirectory(LInstall);
        LLauncher.setProcessChannelMode(QProcess::ForwardedChannels);
        LLauncher.start(LLocalCopy, {});
        QVERIFY(LLauncher.waitForStarted(20'000));
        const qint64 LOldPid = LLauncher.processId();
        // The main window's caption, before and after the start-up run (which may end within
        // a fraction of a second of the window showing, before a slow search sees it).
        const QString LMainTitle = QStringLiteral("^Corvane Plexa( \\[| Tempo do update : )");
        const QString LNoticeTitle = QStringLiteral("^Corvane Plexa$");
        // Keep the one search that found it.
        QStringList LFound;
        QTRY_VERIFY_WITH_TIMEOUT((LFound = Windows(LOldPid, LMainTitle)).size() == 1, 30'000);
        const QString LMainWindow = LFound.constFirst();

        // No window manager activates the window: focusing it is its first activation. The
        // notice is modal, so the focusing stops once it is up.
        QTRY_VERIFY_WITH_TIMEOUT(!Windows(LOldPid, LNoticeTitle).isEmpty() ||
                                     (FocusAndType(LMainWindow), false),
                                 30'000);
        const QString LNotice = Windows(LOldPid, LNoticeTitle).constFirst();
        // The swap is done before the notice shows; the launcher still runs as Corvane.OLD.
        QCOMPARE(VersionOf(LLocalCopy), NewVersion);
        QCOMPARE(VersionOf(LInstall + QStringLiteral("/Corvane.OLD")), LOldVersion);
        QVERIFY(!QFile::exists(LInstall + QStringLiteral("/Corvane.NEW")));

        // Ctrl+C copies the notice's text, which shows which notice it is.
        QClipboard* LClipboard = QGuiApplication::clipboard();
        QTRY_VERIFY_WITH_TIMEOUT(LClipboard->text().contains(SuccessNotice) ||
                                     (FocusAndType(LNotice, {QStringLiteral("ctrl+c")}), false),
                                 20'000);

        // Return closes the notice; the launcher ends and starts the new copy.
        QVERIFY(FocusAndType(LNotice, {QStringLiteral("Return")}));
        QVERIFY(LLauncher.waitForFinished(30'000));
        QCOMPARE(LLauncher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(LLauncher.exitCode(), 0);

        // The new copy is up when its window shows (a copy that handed over to another
        // instance ends without one).
        qint64 LNewPid = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QList<qint64> LPids = ProcessesRunning(LLocalCopy);
                LNewPid = LPids.size() == 1 ? LPids.constFirst() : 0;
                return LNewPid != 0 && !Windows(LNewPid, LMainTitle).isEmpty();
            }(),
            30'000);
        QVERIFY(LNewPid != LOldPid);
        QCOMPARE(ProcessesRunning(LLocalCopy), QList<qint64>{LNewPid});
        QVERIFY(ProcessesRunning(LInstall + QStringLiteral("/Corvane.OLD")).isEmpty());
        QCOMPARE(VersionOf(QStringLiteral("/proc/%1/exe").arg(LNewPid)), NewVersion);
    }
};

QTEST_MAIN(SelfReplacementTest)
#include "SelfReplacementTest.moc"
