// One fuzz input against the real window's status listener. The first byte sets the scene, the rest are the
// datagrams, split at each 0x1E byte (at most 16; each cut to the largest UDP payload):
//   bit 0     remote mode (else internal)
//   bits 1-2  call state before: idle, incoming, connected, incoming while connected (internal: in a call)
//   bit 3     console open
//   bits 4-6  console model 0-4; 5-7 leave the selector without a current entry
//   bit 7     one blink tick after the datagrams
// The datagrams go over loopback to the window's bound port 6123 (so run it in a private network namespace),
// and the window's own onReadyRead reads them. Anything the call-state rules do not allow aborts with a
// message, which the fuzzer reports like a crash.
#pragma once

#include <cstddef>
#include <cstdint>

// Builds the application and the window once per process; the first input does it otherwise.
void startDatagramHarness();
int runDatagramInput(const std::uint8_t* data, std::size_t size);
