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
// LED reports this close to the last come one after another, as in a blink.
constexpr std::chrono::milliseconds writingLatelySpan{1000};

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
    // A console that takes no output report may hold each write for seconds: only its latest LED image waits for
    // the worker's next try, and nobody waits for that.
    if (writesFailing && !requests.empty()) {
        requests.back() = report;
        return;
    }
    requests.push_back(report);
    const unsigned long mine = ++requested;
    changed.notify_all();
    const auto served = [&] { return written >= mine || ended || writesFailing; };
    if (ReadInterrupt::cutsReadsShort && !writesFailing)
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

bool ConsoleWorker::writeRequested(std::unique_lock<std::mutex>& held)
{
    while (!requests.empty()) {
        const OutputReport report = requests.front();
        requests.pop_front();
        held.unlock();
        // A failed write is not tried again: the switch is followed all the same, and the next LED change tries anew.
        const bool taken = hid_write(device, report.data(), report.size()) >= 0;
        held.lock();
        ++written;
        writesFailing = !taken;
        lastWrite = std::chrono::steady_clock::now();
        changed.notify_all();
        if (!taken)
            return false;
    }
    return true;
}

void ConsoleWorker::run()
{
    ReadInterrupt::prepareThisThread();
    std::unique_lock<std::mutex> held(lock);
    thread = QThread::currentThreadId();
    bool failed = false;
    bool writeFailedSinceRead = false;
    for (;;) {
        // Every request made before the read is marked is served first: from the last look at the queue, the lock is
        // held until then. A console whose writes fail gets one try between two reads, so that however long each
        // failing write takes, the switch's reports come between them; at the end it gets none, which would only
        // hold the end up.
        if (!writeFailedSinceRead && !(stopping && writesFailing))
            writeFailedSinceRead = !writeRequested(held);
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
        const bool writingLately = std::chrono::steady_clock::now() - lastWrite < writingLatelySpan;
        reading = true;
        held.unlock();
        const int length = hid_read_timeout(device, buffer, inputBufferSize, ReadInterrupt::readWaitMs(writingLately));
        held.lock();
        reading = false;
        writeFailedSinceRead = false;
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
