#include "console/consoleworker.h"

#include "console/readinterrupt.h"

#include <hidapi.h>

namespace {

constexpr size_t inputBufferSize = 5;
constexpr int inputReportSize = 4;
// An interrupt that comes just before the read begins to wait is lost: it is sent again this often until the read
// has ended.
constexpr std::chrono::milliseconds interruptRepeat{2};
// A request the worker has not served within this long finds it stuck in a write, or starved: the report goes out
// after those before it all the same, once the worker is back (should it be in a read still, when that ends).
constexpr std::chrono::milliseconds writeWaitLimit{1000};

} // namespace

ConsoleWorker::ConsoleWorker(hid_device* device, QObject* parent) : QThread(parent), device(device) {}

ConsoleWorker::~ConsoleWorker()
{
    stop();
}

void ConsoleWorker::write(const OutputReport& report)
{
    std::unique_lock<std::mutex> held(lock);
    if (ended)
        return;
    requests.push_back(report);
    const unsigned long mine = ++requested;
    changed.notify_all();
    const auto served = [&] { return written >= mine || ended; };
    if (ReadInterrupt::cutsReadsShort)
        waitFor(held, served, std::chrono::steady_clock::now() + writeWaitLimit);
}

void ConsoleWorker::stop()
{
    std::unique_lock<std::mutex> held(lock);
    stopping = true;
    changed.notify_all();
    // A worker that never ran has nothing to end.
    const auto over = [this] { return ended || !isRunning(); };
    waitFor(held, over, Deadline::max());
    held.unlock();
    wait();
}

void ConsoleWorker::reportTaken()
{
    const std::lock_guard<std::mutex> held(lock);
    handingOver = false;
    changed.notify_all();
}

template <typename Done> void ConsoleWorker::waitFor(std::unique_lock<std::mutex>& held, Done done, Deadline deadline)
{
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        if (reading)
            ReadInterrupt::interrupt(thread);
        changed.wait_for(held, interruptRepeat);
    }
}

void ConsoleWorker::writeRequested(std::unique_lock<std::mutex>& held)
{
    while (!requests.empty()) {
        const OutputReport report = requests.front();
        requests.pop_front();
        held.unlock();
        // Whether the console took the report is not looked at: its switch is followed all the same.
        hid_write(device, report.data(), report.size());
        held.lock();
        ++written;
        changed.notify_all();
    }
}

void ConsoleWorker::run()
{
    ReadInterrupt::prepareThisThread();
    std::unique_lock<std::mutex> held(lock);
    thread = QThread::currentThreadId();
    bool failed = false;
    for (;;) {
        // Every request made before the read is marked is served first: from the last look at the queue, the lock is
        // held until then.
        writeRequested(held);
        if (stopping)
            break;
        // The next report is read once the last is dealt with: the LEDs a press changes go out without a read to
        // cut short, and the reports wait in the system's queue meanwhile.
        if (handingOver) {
            changed.wait(held);
            continue;
        }
        unsigned char buffer[inputBufferSize] = {};
        const unsigned long interruptsBefore = ReadInterrupt::interruptsTaken();
        reading = true;
        held.unlock();
        const int length = hid_read_timeout(device, buffer, inputBufferSize, ReadInterrupt::readWaitMs);
        held.lock();
        reading = false;
        if (length == inputReportSize) {
            handingOver = true;
            held.unlock();
            emit reportRead(buffer[1]);
            held.lock();
        } else if (length == -1 && ReadInterrupt::interruptsTaken() == interruptsBefore) {
            failed = true;
            break;
        }
    }
    ended = true;
    changed.notify_all();
    held.unlock();
    hid_close(device);
    if (failed)
        emit readFailed();
}
