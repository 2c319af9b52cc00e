// The simulated console under a test's direct control; output reports are kept in memory for the test.
#include "fakehid.h"
#include "simulatedconsole.h"
#include "surroundings.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace fakehid {

namespace {

std::vector<OutputReport>& recorded()
{
    static std::vector<OutputReport> reports;
    return reports;
}

// A waiting read is woken through a pipe, as a real one is by the device's file descriptor.
struct Wakeup
{
    int ends[2] = {-1, -1};
    Wakeup()
    {
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            misuse("fakehid", "no pipe to wake a waiting read");
    }
};

Wakeup& wakeup()
{
    static Wakeup pipe;
    return pipe;
}

// Runs a change to the console under its lock, then wakes a read that waits for one.
template <typename Change> auto changed(Change change)
{
    auto held = lockConsole();
    const char byte = 1;
    if (::write(wakeup().ends[1], &byte, 1) < 0 && errno != EAGAIN)
        misuse("fakehid", "cannot wake a waiting read");
    return change(theConsole());
}

template <typename Look> auto looked(Look look)
{
    auto held = lockConsole();
    return look(theConsole());
}

} // namespace

void lookAround(SimulatedConsole&) {}

Wait waitForOutside(int timeoutMs)
{
    // An endless wait that nothing ends for this long hangs the test: what should cut it short never comes.
    constexpr int endlessWaitLimitMs = 60000;
    pollfd woken{wakeup().ends[0], POLLIN, 0};
    const int ready = ::poll(&woken, 1, timeoutMs < 0 ? endlessWaitLimitMs : timeoutMs);
    if (ready < 0)
        return errno == EINTR ? Wait::Interrupted : Wait::Changed;
    if (ready == 0 && timeoutMs < 0)
        misuse("hid_read", "an endless wait that nothing ended in 60 s; is the signal that cuts it short blocked?");
    char drained[64];
    while (::read(wakeup().ends[0], drained, sizeof drained) > 0) {
    }
    return ready == 0 ? Wait::TimedOut : Wait::Changed;
}

void outputWritten(const Report& report, std::int64_t ns)
{
    recorded().push_back({report, ns});
}

void eventHappened(const char*, std::int64_t, const Report*) {}

void reset()
{
    changed([](SimulatedConsole& console) {
        console.reset();
        recorded().clear();
    });
}

void plug()
{
    changed([](SimulatedConsole& console) { console.plug(); });
}

void unplug()
{
    changed([](SimulatedConsole& console) { console.unplug(); });
}

void refuseOpen(bool refused)
{
    changed([refused](SimulatedConsole& console) { console.refuseOpen(refused); });
}

void queueInput(std::vector<unsigned char> report)
{
    changed([&report](SimulatedConsole& console) { console.queueInput(std::move(report)); });
}

void queueSwitch(bool level)
{
    changed([level](SimulatedConsole& console) { console.queueInput(console.switchReport(level)); });
}

void failNextRead(int result)
{
    changed([result](SimulatedConsole& console) { console.failNextRead(result); });
}

std::vector<OutputReport> outputs()
{
    return looked([](SimulatedConsole&) { return recorded(); });
}

void clearOutputs()
{
    looked([](SimulatedConsole&) { recorded().clear(); });
}

bool isOpen()
{
    return looked([](SimulatedConsole& console) { return console.isOpen(); });
}

int inits()
{
    return looked([](SimulatedConsole& console) { return console.counters().inits; });
}

int opens()
{
    return looked([](SimulatedConsole& console) { return console.counters().opens; });
}

int closes()
{
    return looked([](SimulatedConsole& console) { return console.counters().closes; });
}

int exits()
{
    return looked([](SimulatedConsole& console) { return console.counters().exits; });
}

int openAttempts()
{
    return looked([](SimulatedConsole& console) { return console.counters().openAttempts; });
}

long deviceCalls()
{
    return looked([](SimulatedConsole& console) { return console.counters().deviceCalls; });
}

std::size_t pendingInput()
{
    return looked([](SimulatedConsole& console) { return console.pendingInput(); });
}

bool readerWaiting()
{
    return looked([](SimulatedConsole& console) { return console.readerWaiting(); });
}

int readsInFlight()
{
    return looked([](SimulatedConsole& console) { return console.readsInFlight(); });
}

int liveEnumerations()
{
    return looked([](SimulatedConsole& console) { return console.liveEnumerations(); });
}

} // namespace fakehid
