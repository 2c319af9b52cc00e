#include "session/instancelocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

#include <windows.h>

namespace {

QString hashedName(const QString& scope)
{
    return QStringLiteral("parlink-") +
           QString::fromLatin1(QCryptographicHash::hash(scope.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

} // namespace

InstanceLocation instanceLocation(const QString&)
{
    // Pipe names are machine-wide: the name carries the store, the user and the session, so that another user or
    // another session of the same user has a Parlink of its own; and the machine, for a profile that other machines
    // share.
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const QString user = QSettings().fileName() + QLatin1Char('\n') + QDir::homePath();
    const QString name = hashedName(user + QLatin1Char('\n') + QString::number(session) + QLatin1Char('\n') +
                                    QSysInfo::machineHostName());
    // The version before named both after the store and the user alone, and kept its lock in TEMP.
    const QString earlier = hashedName(user);
    // The user's temporary folder as Windows names it, not TEMP, which each start may set differently.
    const QString folder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("Temp"));
    QDir().mkpath(folder);
    InstanceLocation location;
    // As the toolkit names this machine in its lock files.
    location.machine = qEnvironmentVariable("COMPUTERNAME");
    location.machineId = QSysInfo::machineUniqueId();
    location.folder = folder;
    location.lockFile = QDir(folder).filePath(name + QStringLiteral(".lock"));
    location.serverName = name;
    location.earlierLockFile = QDir::temp().filePath(earlier + QStringLiteral(".lock"));
    location.earlierServerName = earlier;
    return location;
}
