#include "session/instancelocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSettings>

#include <windows.h>

InstanceLocation instanceLocation()
{
    // Pipe names are machine-wide: the name carries the store, the user and the session, so that another user or
    // another session of the same user has a Parlink of its own.
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const QString scope =
        QSettings().fileName() + QLatin1Char('\n') + QDir::homePath() + QLatin1Char('\n') + QString::number(session);
    const QString name =
        QStringLiteral("parlink-") +
        QString::fromLatin1(QCryptographicHash::hash(scope.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    return {QDir::tempPath(), QDir::temp().filePath(name + QStringLiteral(".lock")), name};
}
