#include "session/instancelocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A local socket's path must fit sockaddr_un, terminator included.
constexpr int socketPathLimit = sizeof(sockaddr_un::sun_path) - 1;

// Each desktop of a user has a Parlink of its own: the X display as host and number ("unix" being the local
// socket, as no host), without its screen; a Wayland display by its name.
QString desktop(const QString& xDisplay)
{
    if (xDisplay.isEmpty())
        return qEnvironmentVariable("WAYLAND_DISPLAY");
    const int colon = xDisplay.lastIndexOf(QLatin1Char(':'));
    bool isNumber = false;
    const uint number = xDisplay.mid(colon + 1).section(QLatin1Char('.'), 0, 0).toUInt(&isNumber);
    if (colon < 0 || !isNumber)
        return xDisplay;
    const QString host = xDisplay.left(colon);
    return (host == QLatin1String("unix") ? QString() : host) + QLatin1Char(':') + QString::number(number);
}

// The same store reached through a link is the same store; the folders that do not exist yet are taken as written.
QString canonicalStore(const QString& path)
{
    QString existing = QFileInfo(path).absolutePath();
    QString rest = QFileInfo(path).fileName();
    while (!QFileInfo::exists(existing)) {
        const QFileInfo folder(existing);
        rest = folder.fileName() + QLatin1Char('/') + rest;
        existing = folder.absolutePath();
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return canonical.isEmpty() ? path : QDir(canonical).filePath(rest);
}

// A folder of this user's alone, looked at itself and never through a link that someone else may have planted.
// makePrivate: the folder is Parlink's own and is made owner-only; otherwise no one else may write there.
bool usersOwnFolder(const QString& folder, bool makePrivate)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status = {};
    bool own = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
    if (own && makePrivate)
        own = (status.st_mode & 07777) == S_IRWXU || ::fchmod(fd, S_IRWXU) == 0;
    else if (own)
        own = (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    ::close(fd);
    return own;
}

// The session's runtime folder belongs to this machine and this user alone. Where XDG_RUNTIME_DIR names none (a
// start from another login's terminal, say), the folder a desktop session would have named, so that every start
// finds the same lock; never the toolkit's own stand-in, which follows TMPDIR.
QString runtimeFolder()
{
    QString named = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(named) && usersOwnFolder(named, false))
        return named;
    const QString session = QStringLiteral("/run/user/") + QString::number(::geteuid());
    return usersOwnFolder(session, false) ? session : QString();
}

QString hashedName(const QString& scope)
{
    return QStringLiteral("parlink-") +
           QString::fromLatin1(QCryptographicHash::hash(scope.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

} // namespace

QString privateFolderIn(const QString& parent)
{
    const QString folder = QDir(parent).filePath(QStringLiteral("parlink-") + QString::number(::geteuid()));
    QDir().mkdir(folder);
    return usersOwnFolder(folder, true) ? folder : QString();
}

InstanceLocation instanceLocation(const QString& xDisplay)
{
    // Named after the store, so that a Parlink with a store of its own (a test, say) runs beside another one.
    const QString store = QSettings().fileName();
    const QString scope = canonicalStore(store) + QLatin1Char('\n') + desktop(xDisplay);
    const QString name = hashedName(scope);
    const auto usable = [](const QString& folder) {
        return QDir::isAbsolutePath(folder) && QFileInfo(folder).isWritable();
    };
    const auto fits = [&](const QString& folder) {
        return QFile::encodeName(QDir(folder).filePath(name + QStringLiteral(".socket"))).size() <= socketPathLimit;
    };
    const QFileInfo storeFile(store);
    const QDir besideStore = storeFile.dir();
    InstanceLocation location;
    location.machine = QSysInfo::machineHostName();
    location.machineId = QSysInfo::machineUniqueId();
    location.earlierLockFile = besideStore.filePath(storeFile.completeBaseName() + QStringLiteral(".lock"));
    location.earlierServerName = besideStore.filePath(storeFile.completeBaseName() + QStringLiteral(".socket"));
    // Machines of one host name (a cloned system) tell apart by their ids.
    const QString besideName = hashedName(scope + QLatin1Char('\n') + location.machine + QLatin1Char('\n') +
                                          QString::fromLatin1(location.machineId));
    location.lastResortLockFile = besideStore.filePath(besideName + QStringLiteral(".lock"));
    if (fits(besideStore.path()))
        location.lastResortServerName = besideStore.filePath(besideName + QStringLiteral(".socket"));
    QString folder = runtimeFolder();
    if (!usable(folder) || !fits(folder)) {
        // A runtime folder too long for a socket still keeps the lock, when there is no better place.
        // The system's temporary folder itself, not TMPDIR, which each start may set differently.
        const QString own = privateFolderIn(QStringLiteral("/tmp"));
        if (usable(own) && (fits(own) || !usable(folder)))
            folder = own;
    }
    if (!usable(folder)) {
        // No folder of this user's alone (someone else took its name in /tmp, say): beside the settings, where every
        // start looks too.
        QDir().mkpath(besideStore.path());
        if (usable(besideStore.path())) {
            location.folder = besideStore.path();
            location.lockFile = location.lastResortLockFile;
            location.serverName = location.lastResortServerName;
        }
        return location;
    }
    const QDir place(folder);
    location.folder = folder;
    location.lockFile = place.filePath(name + QStringLiteral(".lock"));
    if (fits(folder))
        location.serverName = place.filePath(name + QStringLiteral(".socket"));
    return location;
}
