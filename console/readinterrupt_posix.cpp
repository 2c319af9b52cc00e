// A signal whose handler only counts it ends the reading thread's wait inside hidapi (read or poll) with EINTR.
#include "console/readinterrupt.h"

#include <csignal>
#include <pthread.h>

#include <atomic>
#include <mutex>

namespace {

constexpr int interruptSignal = SIGUSR2;

std::atomic<unsigned long> interruptsArrived{0};
static_assert(std::atomic<unsigned long>::is_always_lock_free, "counted inside a signal handler");

void countInterrupt(int)
{
    interruptsArrived.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

namespace ReadInterrupt {

const bool cutsReadsShort = true;
// A wait that ran out would only wake an idle program: a report, an unplug or an interrupt ends every wait.
int readWaitMs(bool)
{
    return -1;
}

void install()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action = {};
        action.sa_handler = countInterrupt;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: the wait must end, not resume.
        action.sa_flags = 0;
        sigaction(interruptSignal, &action, nullptr);
    });
}

void prepareThisThread()
{
    // Any other signal would end the wait as well and pass for a lost console: a softphone command ending (SIGCHLD)
    // or the desktop's SIGTERM go to the other threads instead. Faults stay deliverable where they happen.
    sigset_t allButInterrupt;
    sigfillset(&allButInterrupt);
    for (const int kept : {interruptSignal, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP})
        sigdelset(&allButInterrupt, kept);
    pthread_sigmask(SIG_SETMASK, &allButInterrupt, nullptr);
}

void interrupt(Qt::HANDLE thread)
{
    pthread_kill(reinterpret_cast<pthread_t>(thread), interruptSignal);
}

unsigned long interruptsTaken()
{
    return interruptsArrived.load(std::memory_order_relaxed);
}

} // namespace ReadInterrupt
