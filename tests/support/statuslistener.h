// A UDP listener on the status port of this (private) network namespace, for tests that watch what is sent.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

class StatusListener
{
public:
    // Binds address:6123 without sharing; false when the port is taken (the caller then skips).
    bool listen(const QHostAddress& address = QHostAddress::LocalHost);
    // Everything that arrives within waitMs (bounded), in order.
    QList<QNetworkDatagram> receive(int waitMs = 300);
    QString errorString() const { return socket.errorString(); }

private:
    QUdpSocket socket;
};
