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

const QString kNewVersion = QStringLiteral("2019.1.0.9");
const QString kSuccessNotice = QString::fromUtf8("Aplicação atualizada com sucesso!");

// Runs a short helper program; false when it fails. Its standard output goes to output.
bool Run(const QString& program, const QStringList& arguments, QString* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20'000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return true;
}

// The visible windows of a process whose title matches the pattern (xdotool's regex).
QStringList Windows(qint64 pid, const QString& titlePattern) {
    QString output;
    Run(QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
         QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"), titlePattern},
        &output);
    return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Gives the window the input focus, as a user's click would, and then types the keys.
bool FocusAndType(const QString& window, const QStringList& keys = {}) {
    QStringList arguments{QStringLiteral("windowfocus"), QStringLiteral("--sync"), window};
    if (!keys.isEmpty())
        arguments << QStringLiteral("key") << keys;
    return Run(QStringLiteral("xdotool"), arguments);
}

// The processes whose executable is the file at path (this user's, as /proc shows them).
QList<qint64> ProcessesRunning(const QString& path) {
    namespace fs = std::filesystem;
    const fs::path target = path.toStdString();
    QList<qint64> pids;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code linkError;
        if (fs::read_symlink(entry.path() / "exe", linkError) == target && !linkError)
            pids << std::stoll(name);
    }
    return pids;
}

QString VersionOf(const QString& path) {
    return QString::fromStdString(corvane::FileVersionOf(path.toStdString()));
}

// Ends every launcher that ran from the install folder, under any of its names, however the
// test ends.
struct LauncherReaper {
    QString folder;
    QProcess* started;
    ~LauncherReaper() {
        for (const QString& name : {QStringLiteral("Corvane.EXE"), QStringLiteral("Corvane.OLD"),
                                    QStringLiteral("Corvane.NEW")})
            for (const qint64 pid : ProcessesRunning(folder + QLatin1Char('/') + name))
                ::kill(static_cast<pid_t>(pid), SIGKILL);
        started->kill();
        started->waitForFinished(10'000);
    }
};

} // namespace

class SelfReplacementTest : public QObject {
    Q_OBJECT

private slots:
    void NewerServerCopyReplacesTheRunningLauncher() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString base = QFileInfo(root.path()).canonicalFilePath();
        // A folder name with blanks and non-ASCII letters, as hospitals' installs have.
        const QString install = base + QString::fromUtf8("/Instalação São José");
        const QString server = base + QStringLiteral("/servidor");
        QVERIFY(QDir().mkpath(install));
        QVERIFY(QDir().mkpath(server));

        const QString built = QStringLiteral(CORVANE_LAUNCHER_EXE);
        const QString oldVersion = VersionOf(built);
        QVERIFY(!oldVersion.isEmpty());
        QVERIFY(oldVersion != kNewVersion);
        const QString localCopy = install + QStringLiteral("/Corvane.EXE");
        QVERIFY(QFile::copy(built, localCopy));
        QVERIFY(QFile::setPermissions(localCopy, QFile::permissions(built)));
        QVERIFY(Run(QStringLiteral(CORVANE_MAKE_VERSIONED_EXE),
                    {QStringLiteral("restamp"), built, server + QStringLiteral("/Corvane.EXE"),
                     kNewVersion}));
        QCOMPARE(VersionOf(server + QStringLiteral("/Corvane.EXE")), kNewVersion);
        QFile ini(install + QStringLiteral("/Corvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(("[Servidor]\nLocal Exe=" + server + "\n").toUtf8());
        ini.close();

        // Corvane.EXE, .NEW and .OLD live in the current directory: the install folder.
        QProcess launcher;
        const LauncherReaper reaper{install, &launcher};
        launcher.setWorkingDirectory(install);
        launcher.setProcessChannelMode(QProcess::ForwardedChannels);
        launcher.start(localCopy, {});
        QVERIFY(launcher.waitForStarted(20'000));
        const qint64 oldPid = launcher.processId();
        // The main window's caption, before and after the start-up run (which may end within
        // a fraction of a second of the window showing, before a slow search sees it).
        const QString mainTitle = QStringLiteral("^Corvane Plexa( \\[| Tempo do update : )");
        const QString noticeTitle = QStringLiteral("^Corvane Plexa$");
        // Keep the one search that found it.
        QStringList found;
        QTRY_VERIFY_WITH_TIMEOUT((found = Windows(oldPid, mainTitle)).size() == 1, 30'000);
        const QString mainWindow = found.constFirst();

        // No window manager activates the window: focusing it is its first activation. The
        // notice is modal, so the focusing stops once it is up.
        QTRY_VERIFY_WITH_TIMEOUT(
            !Windows(oldPid, noticeTitle).isEmpty() || (FocusAndType(mainWindow), false), 30'000);
        const QString notice = Windows(oldPid, noticeTitle).constFirst();
        // The swap is done before the notice shows; the launcher still runs as Corvane.OLD.
        QCOMPARE(VersionOf(localCopy), kNewVersion);
        QCOMPARE(VersionOf(install + QStringLiteral("/Corvane.OLD")), oldVersion);
        QVERIFY(!QFile::exists(install + QStringLiteral("/Corvane.NEW")));

        // Ctrl+C copies the notice's text, which shows which notice it is.
        QClipboard* clipboard = QGuiApplication::clipboard();
        QTRY_VERIFY_WITH_TIMEOUT(clipboard->text().contains(kSuccessNotice) ||
                                     (FocusAndType(notice, {QStringLiteral("ctrl+c")}), false),
                                 20'000);

        // Return closes the notice; the launcher ends and starts the new copy.
        QVERIFY(FocusAndType(notice, {QStringLiteral("Return")}));
        QVERIFY(launcher.waitForFinished(30'000));
        QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(launcher.exitCode(), 0);

        // The new copy is up when its window shows (a copy that handed over to another
        // instance ends without one).
        qint64 newPid = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QList<qint64> pids = ProcessesRunning(localCopy);
                newPid = pids.size() == 1 ? pids.constFirst() : 0;
                return newPid != 0 && !Windows(newPid, mainTitle).isEmpty();
            }(),
            30'000);
        QVERIFY(newPid != oldPid);
        QCOMPARE(ProcessesRunning(localCopy), QList<qint64>{newPid});
        QVERIFY(ProcessesRunning(install + QStringLiteral("/Corvane.OLD")).isEmpty());
        QCOMPARE(VersionOf(QStringLiteral("/proc/%1/exe").arg(newPid)), kNewVersion);
    }
};

QTEST_MAIN(SelfReplacementTest)
#include "SelfReplacementTest.moc"
