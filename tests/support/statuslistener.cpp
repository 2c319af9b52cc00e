#include "statuslistener.h"

#include <QElapsedTimer>

bool StatusListener::listen(const QHostAddress& address)
{
    return socket.bind(address, 6123, QUdpSocket::DontShareAddress);
}

QList<QNetworkDatagram> StatusListener::receive(int waitMs)
{
    QList<QNetworkDatagram> received;
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < waitMs) {
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(int(waitMs - elapsed.elapsed())))
            break;
        while (socket.hasPendingDatagrams())
            received.append(socket.receiveDatagram(-1));
    }
    return received;
}
