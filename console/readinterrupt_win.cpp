// hidapi waits for a report on an event of its own that nothing outside can set: reads wait in slices instead, and
// a write or a stop waits for the slice to end. Short slices keep the incoming LED's 200 ms blink even; once the
// LEDs have been still for a while, long ones let an idle Parlink sleep, at the cost of a first LED change that
// comes up to that long after the softphone's call state.
#include "console/readinterrupt.h"

namespace ReadInterrupt {

const bool cutsReadsShort = false;
int readWaitMs(bool writingLately)
{
    return writingLately ? 25 : 400;
}

void install() {}

void prepareThisThread() {}

void interrupt(Qt::HANDLE) {}

unsigned long interruptsTaken()
{
    return 0;
}

} // namespace ReadInterrupt
