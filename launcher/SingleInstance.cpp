#include "launcher/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace corvane {

namespace {

TSingleInstance* GCurrentInstance = nullptr;

// How long a second start keeps trying to reach the running launcher: the first start
// takes the lock before it listens, and a busy launcher answers only between its events.
constexpr int HandOverMilliseconds = 10000;
constexpr int RetryMilliseconds = 50;

} // namespace

QString InstanceKey(const QString& AExecutablePath) {
    const QByteArray LHash = QCryptographicHash::hash(
        QDir::cleanPath(AExecutablePath).toCaseFolded().toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("corvane-plexa-") + QString::fromLatin1(LHash.toHex().left(24));
}

TSingleInstance* CurrentInstance() {
    return GCurrentInstance;
}

void LeaveInstanceRegistry() {
    if (GCurrentInstance)
        GCurrentInstance->Leave();
}

TSingleInstance::TSingleInstance(const QString& AExecutablePath, const QString& AFolder)
    : FKey(InstanceKey(AExecutablePath)), FFolder(AFolder) {
    // The runtime folder is the user's own: other users of the machine run their own launcher.
    if (FFolder.isEmpty())
        FFolder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (FFolder.isEmpty())
        FFolder = QDir::tempPath();
    QDir().mkpath(FFolder);
    FLock = std::make_unique<QLockFile>(QDir(FFolder).filePath(FKey + QStringLiteral(".lock")));
    // Never stale by age: a lock is stale only when its process has gone, which QLockFile
    // detects (and then removes the lock) by the process id it holds.
    FLock->setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() {
    Leave();
}

bool TSingleInstance::Claim(const QStringList& AArguments) {
    const QDeadlineTimer LDeadline(HandOverMilliseconds);
    for (;;) {
        if (FLock->tryLock(0)) {
            const QString LSocket = QDir(FFolder).filePath(FKey + QStringLiteral(".socket"));
            // A socket left by a launcher that was killed would refuse the listen.
            QLocalServer::removeServer(LSocket);
            FServer = std::make_unique<QLocalServer>();
            FServer->setSocketOptions(QLocalServer::UserAccessOption);
            connect(FServer.get(), &QLocalServer::newConnection, this,
                    &TSingleInstance::AcceptConnection);
            // Without the socket a later start cannot hand over and waits out its deadline;
            // the lock still keeps it from running twice.
            FServer->listen(LSocket);
            GCurrentInstance = this;
            return true;
        }
        if (HandOver(AArguments))
            return false;
        // The running launcher did not answer: it may be between its lock and its listen,
        // or ending. Try again, the lock first, until the deadline.
        if (LDeadline.hasExpired())
            return false;
        QThread::msleep(RetryMilliseconds);
    }
}

bool TSingleInstance::HandOver(const QStringList& AArguments) {
    QLocalSocket LSocket;
    LSocket.connectToServer(QDir(FFolder).filePath(FKey + QStringLiteral(".socket")));
    if (!LSocket.waitForConnected(1000))
        return false;
    LSocket.write((AArguments.join(QLatin1Char('\n')) + QLatin1Char('\0')).toUtf8());
    if (!LSocket.waitForBytesWritten(1000))
        return false;
    // The running launcher answers once it has come forward on its main thread.
    while (LSocket.bytesAvailable() == 0)
        if (!LSocket.waitForReadyRead(HandOverMilliseconds))
            return false;
    return true;
}

void TSingleInstance::AcceptConnection() {
    while (QLocalSocket* LSocket = FServer ? FServer->nextPendingConnection() : nullptr) {
        connect(LSocket, &QLocalSocket::disconnected, LSocket, &QObject::deleteLater);
        connect(LSocket, &QLocalSocket::readyRead, this, [this, LSocket] {
            // The arguments end with a null; they are read whole and then ignored.
            if (!LSocket->readAll().contains('\0'))
                return;
            if (OnActivate)
                OnActivate();
            LSocket->write("1");
            LSocket->flush();
        });
    }
}

void TSingleInstance::Leave() {
    if (FServer) {
        FServer->close();
        FServer.reset();
    }
    if (FLock && FLock->isLocked())
        FLock->unlock();
    if (GCurrentInstance == this)
        GCurrentInstance = nullptr;
}

} // namespace corvane
