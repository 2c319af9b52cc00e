// The simulated console under a test's direct control; output reports are kept in memory for the test.
#include "fakehid.h"
#include "simulatedconsole.h"
#include "surroundings.h"

namespace fakehid {

namespace {

std::vector<OutputReport>& recorded()
{
    static std::vector<OutputReport> reports;
    return reports;
}

} // namespace

void lookAround(SimulatedConsole&) {}

void outputWritten(const Report& report, std::int64_t ns)
{
    recorded().push_back({report, ns});
}

void eventHappened(const char*, std::int64_t, const Report*) {}

void reset()
{
    theConsole().reset();
    recorded().clear();
}

void plug()
{
    theConsole().plug();
}

void unplug()
{
    theConsole().unplug();
}

void refuseOpen(bool refused)
{
    theConsole().refuseOpen(refused);
}

void queueInput(std::vector<unsigned char> report)
{
    theConsole().queueInput(std::move(report));
}

void queueSwitch(bool level)
{
    theConsole().queueInput(theConsole().switchReport(level));
}

void failNextRead(int result)
{
    theConsole().failNextRead(result);
}

std::vector<OutputReport> outputs()
{
    return recorded();
}

void clearOutputs()
{
    recorded().clear();
}

bool isOpen()
{
    return theConsole().isOpen();
}

int inits()
{
    return theConsole().counters().inits;
}

int opens()
{
    return theConsole().counters().opens;
}

int closes()
{
    return theConsole().counters().closes;
}

int exits()
{
    return theConsole().counters().exits;
}

int openAttempts()
{
    return theConsole().counters().openAttempts;
}

long deviceCalls()
{
    return theConsole().counters().deviceCalls;
}

std::size_t pendingInput()
{
    return theConsole().pendingInput();
}

int liveEnumerations()
{
    return theConsole().liveEnumerations();
}

} // namespace fakehid
