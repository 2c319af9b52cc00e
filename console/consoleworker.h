// The open console's own thread: it waits for the console's input reports, writes the output reports it is asked
// for and closes the console at the end, so that hidapi never sees two threads on one device.
#pragma once

#include <QThread>

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

struct hid_device_;
typedef struct hid_device_ hid_device;

class ConsoleWorker : public QThread
{
    Q_OBJECT
public:
    using OutputReport = std::array<unsigned char, 5>;

    // Takes `device` over: once started, this thread alone calls on it, and it closes it when it ends.
    ConsoleWorker(hid_device* device, QObject* parent);
    ~ConsoleWorker() override;

    // Has the report written after those asked for before. Where a waiting read can be cut short, returns once it
    // is written (or has failed: a console that takes no output report still has a switch to follow); elsewhere
    // at once, and the report goes out when the read's wait is over (at once while a report is being dealt with,
    // as when a press lights an LED). While the console's writes fail, or one takes long, returns at once and only
    // the latest report waits: while they fail, for the next try.
    void write(const OutputReport& report);
    // Ends the worker once every report asked for is written, cutting a waiting read short, and waits until it
    // has closed the device.
    void stop();
    // The last report handed over has been dealt with: the worker may hand over the next.
    void reportTaken();

signals:
    // Byte 1 of a 4-byte input report. The next is read only after reportTaken(), so that a console that sends
    // many reports cannot crowd out everything else the GUI thread has to do, a request to quit above all.
    void reportRead(int report);
    // A read failed, as when the console is unplugged; the worker has closed the device and ended.
    void readFailed();

protected:
    void run() override;

private:
    using Deadline = std::chrono::steady_clock::time_point;

    // With `held`: waits until `done` holds or the deadline has passed, cutting short a read the worker waits in.
    template <typename Done> void waitFor(std::unique_lock<std::mutex>& held, Done done, Deadline deadline);
    // With `held`, released while each report is written. When one fails, the latest report waits for the next try.
    void writeRequested(std::unique_lock<std::mutex>& held);
    // With `held`: how long the next read may wait for a report.
    int readWaitMs() const;

    struct Request
    {
        unsigned long number;
        OutputReport report;
    };

    hid_device* const device;
    std::mutex lock;
    // Every change below is signalled here, to the worker and to a thread waiting for it alike.
    std::condition_variable changed;
    std::deque<Request> requests;
    unsigned long requested = 0;
    unsigned long written = 0;
    bool stopping = false;
    // The last write failed: the console may hold each write for its full timeout.
    bool writesFailing = false;
    Deadline nextTry;
    std::chrono::steady_clock::duration failedWriteTook{};
    // A write is taking long: the GUI thread waits for none until one has ended.
    bool writeLate = false;
    std::chrono::steady_clock::time_point lastWrite;
    // A report has been handed over and not yet taken: the worker reads no further until it is.
    bool handingOver = false;
    // The worker is in a read, or about to enter one: only an interrupt gets it out before a report comes.
    bool reading = false;
    bool ended = false;
    Qt::HANDLE thread = nullptr;
};
