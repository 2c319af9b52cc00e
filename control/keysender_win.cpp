// Windows: keybd_event places each key event into the system's input stream at once.
#include "control/keysender.h"

#include <windows.h>

namespace keysender {

const char* unavailableReason()
{
    return nullptr;
}

void press(std::uint8_t virtualKey)
{
    keybd_event(virtualKey, 0, 0, 0);
}

void release(std::uint8_t virtualKey)
{
    keybd_event(virtualKey, 0, KEYEVENTF_KEYUP, 0);
}

void flush() {}

} // namespace keysender
