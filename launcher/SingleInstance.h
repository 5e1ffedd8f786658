// SingleInstance: the registry of running launchers on Qt. The first start of an executable
// holds a lock file and listens on a local socket, both named after its key
// (shell/SingleInstancePolicy.h); a later start of the same file sends its hand-over message
// to the running launcher, which signals SecondStartArrived, and ends.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLockFile;

namespace corvane {

// The registry name of an executable (shell/SingleInstancePolicy.h).
QString InstanceKey(const QString& executablePath);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder holds the lock file and the socket; empty: the user's runtime folder.
    explicit SingleInstance(const QString& executablePath, const QString& folder = QString());
    ~SingleInstance() override;

    // Enters this process in the registry. True: this is the first start and carries on.
    // False: another launcher of the same executable runs; it has been handed the arguments
    // and has come forward, and the caller ends with kSecondStartExitCode.
    bool Claim(const QStringList& arguments);

    // Leaves the registry: the lock is released and the socket closed, so that a successor
    // started now is a first start. Also done by the destructor.
    void Leave();

    // Enters the registry again after Leave, as the first start it was, without handing over
    // to anyone: for a successor that could not start. False when another launcher of the
    // executable has taken the registry meanwhile; this one then stays outside.
    bool Rejoin();

signals:
    // On the main thread: a second start asks this launcher to come forward.
    void SecondStartArrived();

private:
    // Takes the lock without waiting and listens; false when another process holds the lock.
    bool TakeRegistry();
    void AcceptConnection();
    bool HandOver(const QStringList& arguments);
    QString SocketPath() const;

    QString key_;
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

// The registry entry of this process, while it is a first start (null otherwise).
SingleInstance* CurrentInstance();
// Leaves the registry through the current entry, if there is one.
void LeaveInstanceRegistry();
// Enters the registry again through the entry that last left it (SingleInstance::Rejoin);
// false when there is none or another launcher has taken the registry meanwhile.
bool RejoinInstanceRegistry();

} // namespace corvane
