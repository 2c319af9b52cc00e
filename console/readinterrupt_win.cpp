// hidapi waits for a report on an event of its own that nothing outside can set: reads wait briefly instead, so
// that a reader told to stop has ended well within half a second.
#include "console/readinterrupt.h"

namespace ReadInterrupt {

const int readWaitMs = 400;

void install() {}

void prepareThisThread() {}

void interrupt(Qt::HANDLE) {}

} // namespace ReadInterrupt
