#include "session/instancelocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSettings>

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
    // another session of the same user has a Parlink of its own.
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const QString user = QSettings().fileName() + QLatin1Char('\n') + QDir::homePath();
    const QString name = hashedName(user + QLatin1Char('\n') + QString::number(session));
    // The version before named both after the store and the user alone.
    const QString earlier = hashedName(user);
    return {QDir::tempPath(), QDir::temp().filePath(name + QStringLiteral(".lock")), name,
            QDir::temp().filePath(earlier + QStringLiteral(".lock")), earlier};
}
