// The real parlink in window mode over the simulated console, watched the way the fault tests need it: its
// error output kept apart, no desktop to type into unless a test gives it one, and the call state reached
// through the console and through status datagrams on loopback.
#pragma once

#include "residentparlink.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <functional>

class ObservedParlink
{
public:
    ObservedParlink();

    ResidentParlink& resident() { return parlink; }

    bool startWithConsole() { return parlink.startWithConsole(); }
    // The same, with the program run by a tool such as valgrind: `tool arguments... parlink`.
    bool startWithConsoleUnder(const QString& tool, const QStringList& arguments, int openWithinMs);
    bool running() { return parlink.process().state() == QProcess::Running; }

    // Every line the program wrote to its error output so far.
    QStringList errorLines();
    QStringList errorLinesContaining(const QString& text);

    // The switch pressed and let go, each waited for (bounded) until the program has read it.
    bool pressAndRelease();
    // A status datagram to the program's port on loopback.
    static void sendStatus(const QByteArray& payload);

    // Waits (bounded) until the condition holds or the program has ended.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

    int count(const QString& event) const { return parlink.events().count(event); }
    int outputCount() const { return parlink.outputs().size(); }
    // The LED bits (incoming 0x02, connect 0x04) of every output report from `first` on.
    QList<int> ledsFrom(int first) const;

private:
    ResidentParlink parlink;
    QByteArray errorOutput;
};
