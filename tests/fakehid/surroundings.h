// What lies outside the simulated console. Each build of the double defines these: the in-process one keeps
// everything in memory for the test, the preloaded one talks to the control directory.
#pragma once

#include "reports.h"

namespace fakehid {

class SimulatedConsole;

// Before every hidapi call: take in what was done to the device from outside (plugging, new input).
void lookAround(SimulatedConsole& console);
void outputWritten(const Report& report, std::int64_t ns);
// "init", "open", "close", "exit", or "input" with the report handed to the program.
void eventHappened(const char* event, std::int64_t ns, const Report* report = nullptr);

} // namespace fakehid
