// Cuts short a read that waits on the console, one implementation per platform. Where a wait cannot be cut short,
// reads wait briefly instead, so that a write or a stop is served soon all the same.
#pragma once

#include <qnamespace.h>

namespace ReadInterrupt {

// Whether interrupt() ends a waiting read.
extern const bool cutsReadsShort;
// How long one read waits for a report: without end (-1) where it can be cut short. Elsewhere briefly while LED
// reports come one after another (a blink), and longer once they have stopped, so that an idle program sleeps.
int readWaitMs(bool writingLately);

// Once, before any reader starts: the interrupt must never end the program, even when it arrives from outside.
void install();
// Called on the reading thread before its first read.
void prepareThisThread();
// Ends a wait of `thread` inside hid_read_timeout, which then gives -1.
void interrupt(Qt::HANDLE thread);
// How many interrupts have arrived so far: a read that gives -1 while this grows was cut short, not failed.
unsigned long interruptsTaken();

} // namespace ReadInterrupt
