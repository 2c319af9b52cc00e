#include "console/consolereader.h"

#include "console/readinterrupt.h"

#include <QElapsedTimer>
#include <QMutexLocker>

#include <hidapi.h>

namespace {

constexpr size_t inputBufferSize = 5;
constexpr int inputReportSize = 4;
// A stop cuts the wait short; should the cut come just before the wait begins, it is made again this often.
constexpr unsigned long interruptRepeatMs = 10;

} // namespace

ConsoleReader::ConsoleReader(hid_device* device, QObject* parent) : QThread(parent), device(device) {}

ConsoleReader::~ConsoleReader()
{
    stop();
}

void ConsoleReader::reportTaken()
{
    handOver.release();
}

void ConsoleReader::stop()
{
    stopping = true;
    // A reader waiting to hand a report over wakes too.
    handOver.release();
    QElapsedTimer waited;
    waited.start();
    do
        interruptRead();
    while (!wait(interruptRepeatMs) && waited.elapsed() < ReadInterrupt::readWaitMs);
    // Every read ends by its timeout at the latest.
    wait();
}

void ConsoleReader::interruptRead()
{
    QMutexLocker locked(&threadLock);
    if (readingThread)
        ReadInterrupt::interrupt(readingThread);
}

void ConsoleReader::run()
{
    ReadInterrupt::prepareThisThread();
    {
        QMutexLocker locked(&threadLock);
        readingThread = QThread::currentThreadId();
    }
    while (!stopping) {
        unsigned char buffer[inputBufferSize] = {};
        const int length = hid_read_timeout(device, buffer, inputBufferSize, ReadInterrupt::readWaitMs);
        if (stopping)
            break;
        if (length == inputReportSize) {
            handOver.acquire();
            if (stopping)
                break;
            emit reportRead(buffer[1]);
        } else if (length == -1) {
            emit readFailed();
            break;
        }
    }
    QMutexLocker locked(&threadLock);
    readingThread = nullptr;
}
