#include "ui/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSettings>
#include <QThread>

#ifdef Q_OS_WIN
#include <QCryptographicHash>
#endif

namespace {

const QByteArray showRequest = "show\n";
constexpr int answerTimeoutMs = 2000;
constexpr int retryPauseMs = 50;

// The lock and the server live beside the settings file, so each store has its own and a killed Parlink leaves
// nothing in a shared folder. The registry has no folder: on Windows both are named after the store and the user
// (pipe names are machine-wide) and the lock goes to the user's temporary folder.
#ifdef Q_OS_WIN
QString windowsName()
{
    const QString store = QSettings().fileName() + QLatin1Char('\n') + QDir::homePath();
    const QByteArray digest = QCryptographicHash::hash(store.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("parlink-") + QString::fromLatin1(digest);
}

QString serverName()
{
    return windowsName();
}

QString lockFilePath()
{
    return QDir::temp().filePath(windowsName() + QStringLiteral(".lock"));
}
#else
QString besideTheSettings(const QString& suffix)
{
    const QFileInfo store(QSettings().fileName());
    QDir().mkpath(store.path());
    return store.dir().filePath(store.completeBaseName() + suffix);
}

QString serverName()
{
    return besideTheSettings(QStringLiteral(".socket"));
}

QString lockFilePath()
{
    return besideTheSettings(QStringLiteral(".lock"));
}
#endif

} // namespace

SingleInstance::SingleInstance() : name(serverName()), lock(lockFilePath())
{
    // Only a lock whose process has gone is stale, however long the running Parlink has held it.
    lock.setStaleLockTime(0);
}

bool SingleInstance::claim()
{
    if (!lock.tryLock(0))
        return false;
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, a leftover socket can only be a killed Parlink's.
    QLocalServer::removeServer(name);
    connect(server, SIGNAL(newConnection()), this, SLOT(onConnection()));
    if (!server->listen(name))
        qWarning("Parlink: later starts cannot reach this one: %s", qPrintable(server->errorString()));
    return true;
}

bool SingleInstance::askRunningToShow()
{
    // The running Parlink may hold the lock a moment before it listens.
    const QDeadlineTimer deadline(answerTimeoutMs);
    QLocalSocket socket;
    do {
        socket.connectToServer(name);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(showRequest);
            return socket.waitForBytesWritten(int(deadline.remainingTime()));
        }
        QThread::msleep(retryPauseMs);
    } while (!deadline.hasExpired());
    qWarning("Parlink is already running for this user but does not answer: %s", qPrintable(socket.errorString()));
    return false;
}

void SingleInstance::onConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains(showRequest))
                emit showRequested();
        });
    }
}
