// The link to the mixing console's USB HID interface: its connect switch and its two LEDs.
#pragma once

#include <QObject>

class ConsoleWorker;
class QTimer;

class CHidVoip : public QObject
{
    Q_OBJECT
public:
    explicit CHidVoip(QObject* parent);
    ~CHidVoip() override;

    bool isConnected() const;
    void setConnectLed(bool on);
    void setIncomingLed(bool on);
    void setOutputBit(int bit, bool on);

signals:
    void connect_clicked();
    // The console has just been opened; until something is written its LEDs show whatever they last showed.
    void opened();
    // The console is plugged in but cannot be opened (refused true), or that is over; warning tells the user why.
    void refusalChanged(bool refused, const QString& warning);

public slots:
    void onConsoleChanged(int console);

private slots:
    void hidConnectTimer();
    // Byte 1 of an input report, from the worker in the order the console sent them.
    void hidReportRead(int report);
    void hidReadFailed();

private:
    void setOpenRefused(bool refused);
    void closeDevice();

    QTimer* connectTimer;
    // Owns the open console and every call on it; null while none is open.
    ConsoleWorker* worker;
    // Both the last input byte (bit 0: switch level) and the LED image (bits 1 and 2) sent to the console.
    quint8 ioState;
    qint32 consoleModel;
    // Whether the user has been told that the console is present but cannot be opened: told once, not every 2 s.
    bool openRefused;
    bool refusedAtLastTry;
};
