// Reads the open console's input reports on a thread of its own, as they come, so that a waiting Parlink costs
// nothing and a press is handled at once; everything else done with the device stays on the GUI thread.
#pragma once

#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <atomic>

struct hid_device_;
typedef struct hid_device_ hid_device;

class ConsoleReader : public QThread
{
    Q_OBJECT
public:
    // Reads `device` until told to stop or until a read fails; the caller keeps the device open until then.
    ConsoleReader(hid_device* device, QObject* parent);
    ~ConsoleReader() override;

    // Ends the reader, cutting a read in progress short where the platform allows, and waits until it no longer
    // touches the device.
    void stop();
    // The last report handed over has been dealt with: the reader may hand over the next.
    void reportTaken();

signals:
    // Byte 1 of a 4-byte input report. The next comes only after reportTaken(), so that a console that sends
    // many reports cannot crowd out everything else the GUI thread has to do, a request to quit above all.
    void reportRead(int report);
    // A read failed, as when the console is unplugged; the reader has ended.
    void readFailed();

protected:
    void run() override;

private:
    void interruptRead();

    hid_device* const device;
    std::atomic<bool> stopping{false};
    QSemaphore handOver{1};
    // The reading thread while it is inside its loop, so that it is never signalled after leaving it.
    QMutex threadLock;
    Qt::HANDLE readingThread = nullptr;
};
