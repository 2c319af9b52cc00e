// What lies outside the simulated console. Each build of the double defines these: the in-process one keeps
// everything in memory for the test, the preloaded one talks to the control directory.
#pragma once

#include "reports.h"

namespace fakehid {

class SimulatedConsole;

// Before every hidapi call: take in what was done to the device from outside (plugging, new input).
void lookAround(SimulatedConsole& console);

enum class Wait
{
    Changed,
    TimedOut,
    Interrupted
};
// Called with the console unlocked by a read that found nothing: waits until something may have been done to the
// device from outside, at most `timeoutMs` (-1: without end). A signal to the waiting thread ends it, as it ends the
// real stack's read or poll.
Wait waitForOutside(int timeoutMs);
void outputWritten(const Report& report, std::int64_t ns);
// "init", "open", "close", "exit", "refused" (a write), or "input" with the report handed to the program.
void eventHappened(const char* event, std::int64_t ns, const Report* report = nullptr);

} // namespace fakehid
