// Runs a CHidVoip over the simulated console by calling its timer slots directly, so tests need not wait.
#pragma once

#include "console/chidvoip.h"

#include <QByteArray>
#include <QList>

#include <memory>

class QTimer;

class ConsoleLinkDriver
{
public:
    // The link starts on `model`; the model is chosen while closed, so nothing is sent.
    explicit ConsoleLinkDriver(int model = 0);

    CHidVoip& link() { return *hidVoip; }
    QTimer* connectTimer() const;
    // Whether a reader waits for the console's reports.
    bool reading() const;

    // One tick of the 2 s connect timer.
    void connectTick();
    // Plugs the console in, lets the link open it and forgets what was sent before.
    bool open();
    // Waits until the link has taken in every report the console sent; only while open.
    void poll();
    // The console sends a 4-byte report with this byte 1, and the link takes it in.
    void receive(int byte1);
    // Runs steps such as "incoming on, read 00, connect off" (read: an input report with that byte 1).
    void run(const QString& steps);

    void destroy();

private:
    std::unique_ptr<CHidVoip> hidVoip;
};

// Every output report written since the last fakehid::clearOutputs(), as bytes.
QList<QByteArray> outputReports();
// "00 00 05 07 00" -> the report's bytes.
QByteArray report(const char* hex);
QList<QByteArray> reports(const QStringList& hex);
