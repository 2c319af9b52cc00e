// Cuts short a read that waits on the console, one implementation per platform. Where a wait cannot be cut short,
// reads wait less long, so that a reader told to stop ends soon all the same.
#pragma once

#include <qnamespace.h>

namespace ReadInterrupt {

// How long one read waits for a report before the reader looks at its stop flag again.
extern const int readWaitMs;

// Once, before any reader starts: the interrupt must never end the program, even when it arrives from outside.
void install();
// Called on the reading thread before its first read.
void prepareThisThread();
// Ends a wait of `thread` inside hid_read_timeout, which then gives -1.
void interrupt(Qt::HANDLE thread);

} // namespace ReadInterrupt
