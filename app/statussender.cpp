#include "app/statussender.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QString>
#include <QUdpSocket>

#include <cstdio>

int sendStatusDatagram(const QHostAddress& destination, const QString& command)
{
    QUdpSocket socket;
    // Straight to the destination: a proxy carries no datagram, and asking the system for one (WinHTTP on Windows)
    // would cost a hook more than the send itself.
    socket.setProxy(QNetworkProxy::NoProxy);
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
