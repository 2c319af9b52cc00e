// Control of the simulated console from a test in the same process (the double linked in place of hidapi).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fakehid {

struct OutputReport
{
    std::vector<unsigned char> bytes;
    std::int64_t monotonicNs; // CLOCK_MONOTONIC, comparable across processes
};

// Back to the start: unplugged, nothing queued or recorded, counters at 0. Handles given out before are stale.
void reset();
void plug();
// An open handle is lost: its reads and writes fail with -1 until it is closed, even after a replug.
void unplug();
// Present but not openable, as when the hidraw node's permissions deny access: hid_open gives null while
// hid_enumerate still lists a plugged console. Open handles keep working.
void refuseOpen(bool refused);
// A raw report as hid_read hands it over, one per call; longer than the caller's buffer is cut to it. A read
// waiting for input, or for an unplug, wakes at once. Reports queued while no handle is open are dropped when one
// is opened, as the kernel drops them.
void queueInput(std::vector<unsigned char> report);
// A 4-byte report with the switch level in bit 0 of byte 1 and, like a real console, the LED bits 1 and 2
// of the last output report's byte 2 (taken when queued).
void queueSwitch(bool level);
// The next hid_read returns `result` (-1, 0, or a length n with n zero bytes, cut to the buffer) whatever
// is queued; the queue is left for the reads after it.
void failNextRead(int result);

std::vector<OutputReport> outputs();
void clearOutputs();

bool isOpen();
int inits();
int opens();
int closes();
int exits();
// Every hid_open and hid_open_path, successful or not.
int openAttempts();
// Every hidapi call of any kind.
long deviceCalls();
// The double's own bookkeeping, for checks that it stays bounded.
std::size_t pendingInput();
// Everything queued has been handed to the program and its read waits for more.
bool readerWaiting();
// Reads inside hid_read or hid_read_timeout now, waiting or not.
int readsInFlight();
int liveEnumerations();

} // namespace fakehid
