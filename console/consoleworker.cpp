#include "console/consoleworker.h"

#include "console/readinterrupt.h"

#include <hidapi.h>

#include <algorithm>

namespace {

constexpr size_t inputBufferSize = 5;
constexpr int inputReportSize = 4;
// An interrupt that comes just before the read begins to wait is lost: it is sent again this often until the read
// has ended.
constexpr std::chrono::milliseconds interruptRepeat{2};
// A request the worker has not served within this long finds it stuck in a write (a console that takes no output
// report holds each for its full timeout, five seconds on Linux), or starved: the report goes out after those before
// it all the same, once the worker is back (should it be in a read still, when that ends).
constexpr std::chrono::milliseconds writeWaitLimit{250};
// After a failed write the latest report is tried again once this long has passed, or as long as the failed write
// took, if longer: a console that holds writes has its switch followed half the time at least, and one that takes
// them again shows the call within seconds, without a press.
constexpr std::chrono::milliseconds failedWriteRetry{2000};
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
    const unsigned long mine = ++requested;
    // Each report carries both LEDs: while the console cannot take them, only the latest waits, and nobody for it.
    if ((writesFailing || writeLate) && !requests.empty()) {
        requests.back() = {mine, report};
        return;
    }
    requests.push_back({mine, report});
    changed.notify_all();
    const auto served = [&] { return written >= mine || ended || writesFailing; };
    if (!ReadInterrupt::cutsReadsShort || writesFailing || writeLate)
        return;
    waitFor(held, served, std::chrono::steady_clock::now() + writeWaitLimit);
    writeLate = !served();
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
        const Request request = requests.front();
        requests.pop_front();
        held.unlock();
        const auto began = std::chrono::steady_clock::now();
        const bool taken = hid_write(device, request.report.data(), request.report.size()) >= 0;
        held.lock();
        lastWrite = std::chrono::steady_clock::now();
        written = std::max(written, request.number);
        writesFailing = !taken;
        writeLate = false;
        changed.notify_all();
        // A failed write is not reported: the switch is followed all the same, and the latest report, this one
        // or a later one, is tried again.
        if (!taken) {
            if (requests.empty())
                requests.push_back(request);
            failedWriteTook = lastWrite - began;
            nextTry = lastWrite + std::max<std::chrono::steady_clock::duration>(failedWriteRetry, failedWriteTook);
            return;
        }
    }
}

int ConsoleWorker::readWaitMs() const
{
    const bool writingLately = std::chrono::steady_clock::now() - lastWrite < writingLatelySpan;
    const int wait = ReadInterrupt::readWaitMs(writingLately);
    if (!writesFailing)
        return wait;
    const auto untilTry = std::chrono::ceil<std::chrono::milliseconds>(nextTry - std::chrono::steady_clock::now());
    const int tryMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(untilTry.count(), 0));
    return wait < 0 ? tryMs : std::min(wait, tryMs);
}

void ConsoleWorker::run()
{
    ReadInterrupt::prepareThisThread();
    std::unique_lock<std::mutex> held(lock);
    thread = QThread::currentThreadId();
    bool failed = false;
    for (;;) {
        // Every request made before the read is marked is served first: from the last look at the queue, the lock is
        // held until then. A console whose writes fail is tried again only when its time has come, so that however
        // long each failing write takes, the switch's reports come between them. At the end it gets one more try,
        // lest its LEDs stay lit after Parlink; one that holds its writes only if none failed just now, or the end
        // would wait for two of them.
        const bool writesHeld = failedWriteTook >= writeWaitLimit;
        const Deadline tryAgain = !stopping ? nextTry : writesHeld ? lastWrite + failedWriteRetry : lastWrite;
        if (!writesFailing || std::chrono::steady_clock::now() >= tryAgain)
            writeRequested(held);
        if (stopping)
            break;
        // The next report is read once the last is dealt with: the LEDs a press changes go out without a read to
        // cut short, and the reports wait in the system's queue meanwhile.
        if (handingOver) {
            if (writesFailing)
                changed.wait_until(held, nextTry);
            else
                changed.wait(held);
            continue;
        }
        unsigned char buffer[inputBufferSize] = {};
        const unsigned long interruptsBefore = ReadInterrupt::interruptsTaken();
        const int waitMs = readWaitMs();
        reading = true;
        held.unlock();
        const int length = hid_read_timeout(device, buffer, inputBufferSize, waitMs);
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
