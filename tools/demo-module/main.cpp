// A stand-in module. Started normally it shows a small window naming itself (the file name it
// was started under). With CORVANE_DEMO_MODULE_LOG set it appends one line to that file instead
// and exits at once: its name, its current directory and its arguments, separated by tabs.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include <cstdlib>

namespace {

int AppendToLog(const char* ALogPath, int argc, char* argv[]) {
    const QCoreApplication LApplication(argc, argv);
    QString LLine = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    LLine += QLatin1Char('\t') + QDir::currentPath();
    for (int LIndex = 1; LIndex < argc; ++LIndex)
        LLine += QLatin1Char('\t') + QString::fromLocal8Bit(argv[LIndex]);
    LLine += QLatin1Char('\n');
    QFile LLog(QString::fromLocal8Bit(ALogPath));
    if (!LLog.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    // One write of the whole line: modules started together never interleave their lines.
    const QByteArray LBytes = LLine.toUtf8();
    return LLog.write(LBytes) == LBytes.size() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const char* LLogPath = std::getenv("CORVANE_DEMO_MODULE_LOG"); LLogPath && *LLogPath)
        return AppendToLog(LLogPath, argc, argv);
    QApplication LApplication(argc, argv);
    const QString LName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QLabel LWindow(QStringLiteral("Módulo de demonstração: %1").arg(LName));
    LWindow.setWindowTitle(LName);
    LWindow.setMargin(24);
    LWindow.show();
    return LApplication.exec();
}
