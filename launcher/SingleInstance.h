// TSingleInstance: one running launcher per executable file and user. The first start holds a
// lock file and listens on a local socket, both named after a hash of the case-folded
// executable path; a later start of the same file hands its arguments to the running
// launcher, which comes to the front, and ends.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace corvane {

// The registry name of an executable: equal for paths that differ only in letter case.
QString InstanceKey(const QString& AExecutablePath);

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // AFolder holds the lock file and the socket; empty: the user's runtime folder.
    explicit TSingleInstance(const QString& AExecutablePath, const QString& AFolder = QString());
    ~TSingleInstance() override;

    // Enters this process in the registry. True: this is the first start and carries on.
    // False: another launcher of the same executable runs; it has been handed AArguments
    // (one per line) and asked to come forward, and the caller ends with exit code 0.
    bool Claim(const QStringList& AArguments);

    // Leaves the registry: the lock is released and the socket closed, so that a successor
    // started now is a first start. Also done by the destructor.
    void Leave();

    // Called on the main thread when a second start asks this launcher to come forward.
    std::function<void()> OnActivate;

private:
    void AcceptConnection();
    bool HandOver(const QStringList& AArguments);

    QString FKey;
    QString FFolder;
    std::unique_ptr<QLockFile> FLock;
    std::unique_ptr<QLocalServer> FServer;
};

// The registry entry of this process, while it is a first start (null otherwise). The
// self-replacement leaves through it before it starts the new launcher.
TSingleInstance* CurrentInstance();
void LeaveInstanceRegistry();

} // namespace corvane
