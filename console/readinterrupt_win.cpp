// hidapi waits for a report on an event of its own that nothing outside can set: reads wait in short slices
// instead, so that a write or a stop waits at most one slice, well within the incoming LED's 200 ms blink.
#include "console/readinterrupt.h"

namespace ReadInterrupt {

const bool cutsReadsShort = false;
// Each slice that runs out wakes an idle program: about 40 times a second (32 at the default 15.6 ms timer).
const int readWaitMs = 25;

void install() {}

void prepareThisThread() {}

void interrupt(Qt::HANDLE) {}

unsigned long interruptsTaken()
{
    return 0;
}

} // namespace ReadInterrupt
