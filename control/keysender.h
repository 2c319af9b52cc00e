// Places single key events, named by Windows virtual-key codes, into the desktop's input stream.
// One backend per platform is linked in; callers never know which.
#pragma once

#include <cstdint>

namespace keysender {

// Null when keys can be sent on this desktop; otherwise why they cannot (said once, at start).
const char* unavailableReason();

void press(std::uint8_t virtualKey);
void release(std::uint8_t virtualKey);

// Hands the events sent so far to the desktop; called after each combination.
void flush();

} // namespace keysender
