#include "ui/singleinstance.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {

const QByteArray showRequest = "show\n";
const QByteArray shownReply = "shown\n";
// A Parlink busy starting (the desktop's log-in) may take a while to answer; a hung one never does.
constexpr int answerTimeoutMs = 5000;
constexpr int retryPauseMs = 50;

QString lockProblem(const QFileInfo& folder, QLockFile::LockError error)
{
    if (!folder.exists())
        return QStringLiteral("the folder does not exist");
    if (!folder.isDir())
        return QStringLiteral("it is not a folder");
    if (error == QLockFile::PermissionError || !folder.isWritable())
        return QStringLiteral("no permission to write there");
    return QStringLiteral("it cannot be written (is the disk full?)");
}

} // namespace

SingleInstance::SingleInstance() : location(instanceLocation()), lock(location.lockFile)
{
    // Only a lock whose process has gone is stale, however long the running Parlink has held it.
    lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    // The socket goes first: once the lock is free, a new Parlink may listen under the same name.
    delete server;
    lock.unlock();
}

SingleInstance::Start SingleInstance::start()
{
    const QDeadlineTimer deadline(answerTimeoutMs);
    for (;;) {
        if (claim())
            return Claimed;
        const Answer answer = askToShow(deadline);
        if (answer == Shown)
            return OtherShown;
        if (answer == Silent || deadline.hasExpired()) {
            reportSilence();
            return OtherSilent;
        }
        QThread::msleep(retryPauseMs);
    }
}

// Only a lock held by a live Parlink means that one runs; a lock that cannot be made at all must not keep the
// program from starting.
bool SingleInstance::claim()
{
    if (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::LockFailedError)
            return false;
        const QFileInfo folder(QFileInfo(location.lockFile).path());
        qWarning("Parlink: cannot keep a lock file in %s (%s); a second Parlink started now would not notice this one",
                 qPrintable(folder.filePath()), qPrintable(lockProblem(folder, lock.error())));
        return true;
    }
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, a leftover socket can only be a killed Parlink's.
    QLocalServer::removeServer(location.serverName);
    connect(server, SIGNAL(newConnection()), this, SLOT(onConnection()));
    if (!server->listen(location.serverName))
        qWarning("Parlink: later starts cannot reach this one: %s", qPrintable(server->errorString()));
    return true;
}

SingleInstance::Answer SingleInstance::askToShow(const QDeadlineTimer& deadline) const
{
    QLocalSocket socket;
    socket.connectToServer(location.serverName);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return Gone;
    socket.write(showRequest);
    QByteArray reply;
    while (!reply.contains(shownReply)) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return socket.state() == QLocalSocket::ConnectedState ? Silent : Gone;
        reply += socket.readAll();
    }
    return Shown;
}

void SingleInstance::reportSilence()
{
    qint64 pid = 0;
    QString host;
    QString application;
    lock.getLockInfo(&pid, &host, &application);
    qWarning("Parlink is already running for this user but does not answer (process %lld); end it or try again later",
             pid);
}

void SingleInstance::onConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains(showRequest))
                return;
            emit showRequested();
            // Answered once the window is up, so that the new start ends only when the user sees something.
            socket->write(shownReply);
            socket->flush();
        });
    }
}
