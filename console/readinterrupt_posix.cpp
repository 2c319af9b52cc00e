// A signal with a handler that does nothing ends the reading thread's poll() inside hidapi with EINTR.
#include "console/readinterrupt.h"

#include <csignal>
#include <pthread.h>

#include <mutex>

namespace {

constexpr int interruptSignal = SIGUSR2;

void ignoreInterrupt(int) {}

} // namespace

namespace ReadInterrupt {

// Long: a stop does not wait for it, and each wait that runs out is a wake-up of an idle program.
const int readWaitMs = 2000;

void install()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action = {};
        action.sa_handler = ignoreInterrupt;
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

} // namespace ReadInterrupt
