// Sends one status datagram ("-s " and the command word) to UDP port 6123.
#pragma once

#include <QtGlobal>

class QHostAddress;
class QString;

constexpr quint16 statusPort = 6123;

// Exit status of a command-mode run whose send failed: the datagram never reached the operating system.
constexpr int sendFailedStatus = 3;

// Returns 0 once the datagram is handed to the operating system, sendFailedStatus (after saying why on
// stderr) when it could not be.
int sendStatusDatagram(const QHostAddress& destination, const QString& command);
