// How a double driven through the control directory watches it: one implementation per platform, since telling
// a new plug-in from the old one depends on what the file system offers.
#pragma once

#include "consoledirectory.h"
#include "surroundings.h"

namespace fakehid {

class SimulatedConsole;

// The directory named by FAKEHID_DIR; null without one.
const ConsoleDirectory* controlDirectory();
// What was done to the console from outside since the last look: plugging and unplugging, then new input.
void followPlug(SimulatedConsole& console);
void takeInput(SimulatedConsole& console);
// Waits until the directory's `plugged` or `input` may have changed, at most `timeoutMs`.
Wait waitForChange(const ConsoleDirectory& directory, int timeoutMs);

} // namespace fakehid
