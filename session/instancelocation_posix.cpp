#include "session/instancelocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <sys/un.h>
#include <unistd.h>

namespace {

// A local socket's path must fit sockaddr_un, terminator included.
constexpr int socketPathLimit = sizeof(sockaddr_un::sun_path) - 1;
constexpr QFile::Permissions ownerOnly =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;

// The X display without its screen number: each desktop of a user has a Parlink of its own.
QString desktop()
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return qEnvironmentVariable("WAYLAND_DISPLAY");
    // "unix:0" names the local socket of ":0" explicitly.
    if (display.startsWith(QLatin1String("unix:")))
        display.remove(0, 4);
    const int screen = display.lastIndexOf(QLatin1Char('.'));
    return screen > display.lastIndexOf(QLatin1Char(':')) ? display.left(screen) : display;
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

// Where there is no runtime folder: one of this user's own in the temporary folder, never one that someone else
// made there first.
QString privateTemporaryFolder()
{
    const QString folder = QDir::temp().filePath(QStringLiteral("parlink-") + QString::number(::geteuid()));
    QDir().mkdir(folder);
    QFile::setPermissions(folder, ownerOnly);
    const QFileInfo info(folder);
    return info.isDir() && info.ownerId() == ::geteuid() && info.permissions() == ownerOnly ? folder : QString();
}

} // namespace

InstanceLocation instanceLocation()
{
    // Named after the store, so that a Parlink with a store of its own (a test, say) runs beside another one.
    const QByteArray scope = (canonicalStore(QSettings().fileName()) + QLatin1Char('\n') + desktop()).toUtf8();
    const QString name =
        QStringLiteral("parlink-") +
        QString::fromLatin1(QCryptographicHash::hash(scope, QCryptographicHash::Sha1).toHex().left(16));
    const auto fits = [&](const QString& folder) {
        return QDir::isAbsolutePath(folder) && QFileInfo(folder).isWritable() &&
               QFile::encodeName(QDir(folder).filePath(name + QStringLiteral(".socket"))).size() <= socketPathLimit;
    };
    // The session's runtime folder belongs to this machine and this user alone; a read-only one keeps no lock.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!fits(folder))
        folder = privateTemporaryFolder();
    if (!fits(folder))
        return {};
    const QDir place(folder);
    return {folder, place.filePath(name + QStringLiteral(".lock")), place.filePath(name + QStringLiteral(".socket"))};
}
