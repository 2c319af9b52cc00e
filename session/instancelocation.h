// Where the one Parlink of a settings store, on this machine and desktop, keeps its lock and answers later starts.
// Not beside the settings: a home folder may be shared between machines, and its path may be too long for a local
// socket.
#pragma once

#include <QByteArray>
#include <QString>

struct InstanceLocation
{
    // This machine as a lock file names the machine of the Parlink that wrote it: by host name, and by id.
    QString machine;
    QByteArray machineId;
    QString folder; // empty when this user has no folder of its own for them, nor can write the settings folder
    QString lockFile;
    QString serverName; // empty when the folder's path is too long for a local socket
    // Where the version before kept its lock and listened; it reads a show request but never answers one.
    QString earlierLockFile;
    QString earlierServerName;
    // Where a Parlink without a folder of the user's own keeps them: beside the settings, named as above and after
    // the machine, since other machines may share the home folder. Empty where there is always such a folder, and
    // the socket empty where its path is too long.
    QString lastResortLockFile;
    QString lastResortServerName;
};

// xDisplay: the X display the toolkit opens (its -display option, else DISPLAY); empty without one.
InstanceLocation instanceLocation(const QString& xDisplay);

#ifndef Q_OS_WIN
// Where there is no runtime folder: a folder of this user's own in parent, named by user id and made owner-only;
// empty where someone else made it first, or planted a link there.
QString privateFolderIn(const QString& parent);
#endif
