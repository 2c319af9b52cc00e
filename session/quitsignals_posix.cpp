// POSIX signals reach the event loop through a socket pair: the handler only writes one byte to it.
#include "session/quitsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
const int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onQuitSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a pending request: losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : quitSignals)
        sigaction(signal, &action, nullptr);
}

} // namespace

QuitSignalWatcher::QuitSignalWatcher(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return; // the default action, ending the process, stays in force
    // Neither end may block: the handler must return at once, and the event loop may report the read end again
    // after a nested loop has drained it (a read that waited would then hold the program until the next signal).
    ::fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    source = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
#if QT_VERSION < QT_VERSION_CHECK(5, 15, 0)
    connect(source, SIGNAL(activated(int)), this, SLOT(onSignalArrived()));
#else
    connect(source, SIGNAL(activated(QSocketDescriptor)), this, SLOT(onSignalArrived()));
#endif
    setHandler(onQuitSignal);
}

QuitSignalWatcher::~QuitSignalWatcher()
{
    if (!source)
        return;
    setHandler(SIG_DFL);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void QuitSignalWatcher::onSignalArrived()
{
    char bytes[16];
    bool arrived = false;
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0)
        arrived = true;
    if (arrived)
        emit quitRequested();
}
