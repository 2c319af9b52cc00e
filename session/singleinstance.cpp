#include "session/singleinstance.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <utility>

namespace {

const QByteArray showRequest = "show\n";
const QByteArray shownReply = "shown\n";
// A Parlink busy starting (the desktop's log-in) may take a while to answer; a hung one never does.
constexpr int answerTimeoutMs = 5000;
constexpr int retryPauseMs = 50;
// A request is one short line; a connection that sends more, or not all of it in time, is not a later start.
constexpr qint64 requestLimit = 64;
const char* const noAnswer = "does not answer";

// A lock file whose content names no process cannot be any Parlink's once it is this old: a Parlink writes its
// process number as it makes the file.
constexpr int unreadableLockAgeMs = 2000;

QString tooLongProblem(const QString& folder)
{
    return QStringLiteral("the path of %1 is too long for a local socket").arg(folder);
}

// The folder was found writable a moment ago, or there is none.
QString lockProblem(const QString& folder)
{
    if (folder.isEmpty())
        return QStringLiteral("(no runtime folder, no folder in /tmp of this user's alone, and the settings folder "
                              "cannot be written)");
    return QStringLiteral("in %1 (no permission, a read-only file system or a full disk)").arg(folder);
}

// A home folder may be shared between machines (over the network, or as a roaming profile): a lock there written on
// another machine is not this machine's Parlink, and not this one's to remove. The toolkit's lock ("pid, application,
// host name, machine id", a line each) names the machine twice: either differing tells another machine, also one of
// the same name. Where a name is unknown, or the lock unreadable, it is taken for this machine's.
bool writtenElsewhere(const QString& path, const InstanceLocation& here)
{
    QFile file(path);
    const QList<QByteArray> lines = file.open(QIODevice::ReadOnly) ? file.read(4096).split('\n') : QList<QByteArray>();
    if (lines.value(0).toLongLong() <= 0)
        return false;
    const QString host = QString::fromUtf8(lines.value(2));
    const QByteArray machineId = lines.value(3);
    return (!host.isEmpty() && !here.machine.isEmpty() && host != here.machine) ||
           (!machineId.isEmpty() && !here.machineId.isEmpty() && machineId != here.machineId);
}

bool unreadableAndOld(const QLockFile& lock, const QString& path)
{
    qint64 pid = 0;
    QString host;
    QString application;
    return !lock.getLockInfo(&pid, &host, &application) &&
           qAbs(QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTimeUtc())) > unreadableLockAgeMs;
}

} // namespace

SingleInstance::SingleInstance(const QString& xDisplay) : location(instanceLocation(xDisplay)), lock(location.lockFile)
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
    // An upgrade must not leave the version before running beside this one, both reading the switch; nor may a start
    // with a folder of its own miss a Parlink that had none.
    Start other = OtherSilent;
    if (runsElsewhere(location.earlierLockFile, location.earlierServerName, other) ||
        (location.lockFile != location.lastResortLockFile &&
         runsElsewhere(location.lastResortLockFile, location.lastResortServerName, other)))
        return other;
    const QDeadlineTimer deadline(answerTimeoutMs);
    for (;;) {
        if (claim())
            return Claimed;
        if (location.serverName.isEmpty()) {
            reportSilence(lock, qPrintable(QStringLiteral("cannot be asked to show its window: ") +
                                           tooLongProblem(location.folder)));
            return OtherSilent;
        }
        const Answer answer = askToShow(deadline);
        if (answer == Shown)
            return OtherShown;
        if (answer == Silent || deadline.hasExpired()) {
            reportSilence(lock, noAnswer);
            return OtherSilent;
        }
        QThread::msleep(retryPauseMs);
    }
}

// Only a lock held by a live Parlink means that one runs; a lock that cannot be made at all must not keep the
// program from starting.
bool SingleInstance::claim()
{
    // A damaged lock (emptied by a full disk, say) would otherwise keep every start from running.
    if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError && unreadableAndOld(lock, location.lockFile) &&
        lock.removeStaleLockFile())
        lock.tryLock(0);
    if (!lock.isLocked()) {
        if (lock.error() == QLockFile::LockFailedError)
            return false;
        qWarning("Parlink: cannot keep a lock file %s; a second Parlink started now would not notice this one",
                 qPrintable(lockProblem(location.folder)));
        return true;
    }
    if (location.serverName.isEmpty()) {
        qWarning("Parlink: later starts cannot ask this one to show its window: %s",
                 qPrintable(tooLongProblem(location.folder)));
        return true;
    }
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, a leftover socket can only be a killed Parlink's.
    QLocalServer::removeServer(location.serverName);
    connect(server, SIGNAL(newConnection()), this, SLOT(onConnection()));
    nextTurn = new QTimer(this);
    nextTurn->setSingleShot(true);
    nextTurn->setInterval(0);
    connect(nextTurn, SIGNAL(timeout()), this, SLOT(onNextTurn()));
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

// A live Parlink holding a lock elsewhere. The version before shows its window on a request without answering it.
bool SingleInstance::runsElsewhere(const QString& lockFile, const QString& serverName, Start& start) const
{
    if (!QFileInfo::exists(lockFile))
        return false;
    QLockFile holder(lockFile);
    holder.setStaleLockTime(0);
    // Looked at before it is tried: with a copied system's machine id the toolkit would take another machine's lock for
    // a stale one of this machine's, and remove it.
    if (writtenElsewhere(lockFile, location))
        return false;
    // Left behind by one that has gone, or damaged as a full disk leaves it.
    if (holder.tryLock(0) || holder.error() != QLockFile::LockFailedError || unreadableAndOld(holder, lockFile))
        return false;
    start = OtherSilent;
    if (serverName.isEmpty()) {
        reportSilence(holder, qPrintable(QStringLiteral("cannot be asked to show its window: ") +
                                         tooLongProblem(QFileInfo(lockFile).path())));
        return true;
    }
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (socket.waitForConnected(answerTimeoutMs) && socket.write(showRequest) == showRequest.size() &&
        socket.waitForBytesWritten(answerTimeoutMs)) {
        start = OtherShown;
        return true;
    }
    reportSilence(holder, noAnswer);
    return true;
}

void SingleInstance::reportSilence(const QLockFile& holder, const char* reason)
{
    qint64 pid = 0;
    QString host;
    QString application;
    holder.getLockInfo(&pid, &host, &application);
    qWarning("Parlink is already running for this user but %s (process %lld); end it or try again later", reason, pid);
}

void SingleInstance::stopAnswering()
{
    // The waiting connections are the server's children and go with it.
    delete server;
    server = nullptr;
    showAsked.clear();
    if (nextTurn)
        nextTurn->stop();
}

void SingleInstance::onNextTurn()
{
    emit showRequested();
    // Answered once the window is up, so that the new start ends only when the user sees something.
    for (const QPointer<QLocalSocket>& socket : std::exchange(showAsked, {})) {
        if (socket) {
            socket->write(shownReply);
            socket->flush();
        }
    }
}

void SingleInstance::onConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto* giveUp = new QTimer(socket);
        giveUp->setSingleShot(true);
        connect(giveUp, &QTimer::timeout, socket, &QLocalSocket::abort);
        giveUp->start(answerTimeoutMs);
        // The request may come in pieces: it is read once its line is complete.
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine() && socket->bytesAvailable() < requestLimit)
                return;
            if (socket->readLine(requestLimit) != showRequest) {
                socket->abort();
                return;
            }
            // Shown and answered from the event loop's next turn, which a Parlink that is quitting never takes, or
            // by then it has stopped answering: the new start then waits for the lock and becomes the Parlink.
            showAsked.append(socket);
            nextTurn->start();
        });
    }
}
