#include "launcher/SingleInstance.h"

#include "shell/SingleInstancePolicy.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <string>
#include <vector>

namespace corvane {

namespace {

SingleInstance* currentInstance = nullptr;
// The entry that left the registry last, while it lives: the one a failed successor gives the
// registry back to.
SingleInstance* leftInstance = nullptr;

// How long a second start keeps trying to reach the running launcher: the first start
// takes the lock before it listens, and a busy launcher answers only between its events.
constexpr int kHandOverMilliseconds = 10000;
constexpr int kRetryMilliseconds = 50;

} // namespace

QString InstanceKey(const QString& executablePath) {
    return QString::fromStdString(corvane::InstanceKey(executablePath.toStdString()));
}

SingleInstance* CurrentInstance() {
    return currentInstance;
}

void LeaveInstanceRegistry() {
    if (currentInstance)
        currentInstance->Leave();
}

bool RejoinInstanceRegistry() {
    return leftInstance && leftInstance->Rejoin();
}

SingleInstance::SingleInstance(const QString& executablePath, const QString& folder)
    : key_(InstanceKey(executablePath)), folder_(folder) {
    // The runtime folder is the user's own: other users of the machine run their own launcher.
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder_.isEmpty())
        folder_ = QDir::tempPath();
    QDir().mkpath(folder_);
    lock_ = std::make_unique<QLockFile>(QDir(folder_).filePath(key_ + QStringLiteral(".lock")));
    // Never stale by age: a lock is stale only when its process has gone, which QLockFile
    // detects (and then removes the lock) by the process id it holds.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    Leave();
    if (leftInstance == this)
        leftInstance = nullptr;
}

QString SingleInstance::SocketPath() const {
    return QDir(folder_).filePath(key_ + QStringLiteral(".socket"));
}

bool SingleInstance::Claim(const QStringList& arguments) {
    const QDeadlineTimer deadline(kHandOverMilliseconds);
    for (;;) {
        if (TakeRegistry())
            return true;
        if (HandOver(arguments))
            return false;
        // The running launcher did not answer: it may be between its lock and its listen,
        // or ending. Try again, the lock first, until the deadline.
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kRetryMilliseconds);
    }
}

bool SingleInstance::TakeRegistry() {
    if (!lock_->tryLock(0))
        return false;
    // A socket left by a launcher that was killed would refuse the listen.
    QLocalServer::removeServer(SocketPath());
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::AcceptConnection);
    // Without the socket a later start cannot hand over and waits out its deadline; the lock
    // still keeps it from running twice.
    server_->listen(SocketPath());
    currentInstance = this;
    if (leftInstance == this)
        leftInstance = nullptr;
    return true;
}

bool SingleInstance::Rejoin() {
    return currentInstance == this || TakeRegistry();
}

bool SingleInstance::HandOver(const QStringList& arguments) {
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(1000))
        return false;
    std::vector<std::string> list;
    for (const QString& argument : arguments)
        list.push_back(argument.toStdString());
    socket.write(QByteArray::fromStdString(HandOverMessage(list)));
    if (!socket.waitForBytesWritten(1000))
        return false;
    // The running launcher answers once it has come forward on its main thread.
    while (socket.bytesAvailable() == 0)
        if (!socket.waitForReadyRead(kHandOverMilliseconds))
            return false;
    return true;
}

void SingleInstance::AcceptConnection() {
    while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // The message ends with a null; it is read whole and then ignored.
            if (!socket->readAll().contains('\0'))
                return;
            emit SecondStartArrived();
            socket->write("1");
            socket->flush();
        });
    }
}

void SingleInstance::Leave() {
    if (server_) {
        server_->close();
        server_.reset();
    }
    if (lock_ && lock_->isLocked())
        lock_->unlock();
    if (currentInstance == this) {
        currentInstance = nullptr;
        leftInstance = this;
    }
}

} // namespace corvane
