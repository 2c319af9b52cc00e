#include "ui/instancelocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <sys/un.h>

namespace {

// A local socket's path must fit sockaddr_un, terminator included.
constexpr int socketPathLimit = sizeof(sockaddr_un::sun_path) - 1;

} // namespace

InstanceLocation instanceLocation()
{
    // Named after the store, so that a Parlink with a store of its own (a test, say) runs beside another one.
    const QByteArray store = QSettings().fileName().toUtf8();
    const QString name =
        QStringLiteral("parlink-") +
        QString::fromLatin1(QCryptographicHash::hash(store, QCryptographicHash::Sha1).toHex().left(16));
    // The session's runtime folder belongs to this machine and this user alone.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const auto fits = [&](const QString& place) {
        return !place.isEmpty() &&
               QFile::encodeName(QDir(place).filePath(name + QStringLiteral(".socket"))).size() <= socketPathLimit;
    };
    if (!fits(folder))
        folder = QDir::tempPath();
    const QDir place(folder);
    return {place.filePath(name + QStringLiteral(".lock")), place.filePath(name + QStringLiteral(".socket"))};
}
