#include "app/statussender.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUdpSocket>

#include <cstdio>

int sendStatusDatagram(const QHostAddress& destination, const QString& command)
{
    QUdpSocket socket;
    QByteArray payload;
    payload.append("-s");
    payload.append(" ");
    payload.append(command.toUtf8());
    if (socket.writeDatagram(payload, destination, statusPort) == payload.size())
        return 0;
    std::fprintf(stderr, "parlink: cannot send \"%s\" to %s: %s\n", payload.constData(),
                 qPrintable(destination.toString()), qPrintable(socket.errorString()));
    return sendFailedStatus;
}
