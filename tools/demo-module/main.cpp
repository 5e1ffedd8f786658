// A stand-in module. Started normally it shows a small window naming itself (the file name it
// was started under). With CORVANE_DEMO_MODULE_LOG set it appends one line to that file instead
// and exits at once: its name, its current directory and its arguments, separated by tabs.
#include "platform/Process.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include <cstdlib>
#include <string>

namespace {

int AppendToLog(const char* logPath, int argc, char* argv[]) {
    const QCoreApplication application(argc, argv);
    QString line = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    line += QLatin1Char('\t') + QDir::currentPath();
    for (const std::string& argument : corvane::ProgramArguments(argc, argv))
        line += QLatin1Char('\t') + QString::fromStdString(argument);
    line += QLatin1Char('\n');
    QFile log(QString::fromLocal8Bit(logPath));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    // One write of the whole line: modules started together never interleave their lines.
    const QByteArray bytes = line.toUtf8();
    return log.write(bytes) == bytes.size() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const char* logPath = std::getenv("CORVANE_DEMO_MODULE_LOG"); logPath && *logPath)
        return AppendToLog(logPath, argc, argv);
    QApplication application(argc, argv);
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QLabel window(QStringLiteral("Módulo de demonstração: %1").arg(name));
    window.setWindowTitle(name);
    window.setMargin(24);
    window.show();
    return application.exec();
}
