// The real parlink in window mode over the preloaded simulated console, as end-to-end tests drive it: a private
// home and settings folder, the offscreen platform, and the console's control directory.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

struct TimedReport
{
    qint64 monotonicNs; // CLOCK_MONOTONIC when the console received it
    QByteArray bytes;
};

class ResidentParlink
{
public:
    ResidentParlink();
    ~ResidentParlink();

    QTemporaryDir& home() { return *homeDir; }
    QString settingsFile() const;
    QProcess& process() { return parlink; }

    // Before start: remote mode lets the datagrams drive the call state; a fresh installation is internal.
    void storeRemoteMode(bool remote);
    // Before start: the X display the program and its key sender use, with the toolkit's X11 platform.
    void useDisplay(const QByteArray& display);

    // Starts window mode; returns false when the process cannot be started.
    bool start(const QStringList& arguments = {});
    // Sends SIGTERM and waits (bounded); true when it ended normally with status 0.
    bool terminate();

    // Plugs the console in, starts window mode and waits (bounded) until the program has opened the console,
    // which it does two seconds after its window is built, and has set its two LEDs.
    bool startWithConsole(const QStringList& arguments = {});

    // fakehid-ctl with this console's directory; returns its exit status.
    int console(const QStringList& arguments);
    // Input reports ("00 00 00 00") that reach the console all at once, in one write.
    bool sendReports(const QStringList& reports);
    // "init", "open", "input", "close", "exit", in order.
    QStringList events() const;
    // Every output report the program wrote, in order.
    QList<QByteArray> outputs() const;
    // The same, each with the time the console received it.
    QList<TimedReport> timedOutputs() const;

private:
    QList<QByteArray> linesOf(const char* name) const;

    std::unique_ptr<QTemporaryDir> homeDir;
    QString consoleDir;
    QProcess parlink;
};
