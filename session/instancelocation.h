// Where the one Parlink of a settings store, on this machine and desktop, keeps its lock and answers later starts.
// Not beside the settings: a home folder may be shared between machines, and its path may be too long for a local
// socket.
#pragma once

#include <QString>

struct InstanceLocation
{
    QString folder; // empty when this user has no folder of its own for them
    QString lockFile;
    QString serverName;
};

InstanceLocation instanceLocation();
