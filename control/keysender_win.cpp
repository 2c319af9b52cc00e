// Windows: keybd_event places each key event into the system's input stream at once.
#include "control/keysender.h"

#include <windows.h>

namespace keysender {

namespace {

// Keys that a PC keyboard sends with the E0 prefix. Without the extended flag Windows takes R_Ctrl and R_Alt for
// the left-hand keys and the arrows and the navigation block for the numeric keypad's; Numpad / is E0 35.
bool isExtendedKey(std::uint8_t virtualKey)
{
    switch (virtualKey) {
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_SNAPSHOT:
    case VK_DIVIDE:
        return true;
    default:
        return false;
    }
}

void sendKeyEvent(std::uint8_t virtualKey, DWORD flags)
{
    keybd_event(virtualKey, 0, flags | (isExtendedKey(virtualKey) ? KEYEVENTF_EXTENDEDKEY : 0), 0);
}

} // namespace

const char* unavailableReason()
{
    return nullptr;
}

void press(std::uint8_t virtualKey)
{
    sendKeyEvent(virtualKey, 0);
}

void release(std::uint8_t virtualKey)
{
    sendKeyEvent(virtualKey, KEYEVENTF_KEYUP);
}

void flush() {}

} // namespace keysender
