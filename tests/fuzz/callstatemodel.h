// What the window should make of status datagrams, written down on its own: the call state, the blink timer,
// the "INCOMING>> " lines and the output reports the console gets. The fuzz harness compares the real window
// with it after every input.
#pragma once

#include <QByteArray>
#include <QList>

enum class StatusWord
{
    None,
    Incoming,
    Connected,
    Disconnected,
};

// The status a payload carries: the bytes before the first zero byte, taken as UTF-8, compared whole.
StatusWord statusWordOf(const QByteArray& payload);

class CallStateModel
{
public:
    // consoleModel is the console selector's index (-1 when it has no current entry).
    CallStateModel(bool remote, bool consoleOpen, int consoleModel);

    void receive(const QByteArray& payload);
    // One tick of the blink timer with the process-wide phase; returns the phase for the next tick.
    bool tick(bool phase);

    int state() const { return callState; }
    bool blinking() const { return blinkRunning; }
    int incomingLines() const { return incomingCount; }
    // Byte 2 of each output report, in order.
    const QList<int>& reports() const { return ledReports; }
    void clearObservations();

private:
    void setConnectLed(bool on);
    void setIncomingLed(bool on);
    void setLedBit(int bit, bool on);

    bool remote;
    bool consoleOpen;
    bool separateLeds;
    int callState = 0;
    bool blinkRunning = false;
    int incomingCount = 0;
    int ledImage = 0;
    QList<int> ledReports;
};
