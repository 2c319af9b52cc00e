// X11: key events go through the X Test extension, as keycodes of the server's current keymap.
#include "control/keysender.h"

#include "control/x11keysyms.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

class Connection
{
public:
    Connection()
    {
        display = XOpenDisplay(nullptr);
        if (!display) {
            reason = "no X display can be opened (DISPLAY is unset or unreachable, as in a pure Wayland session)";
            return;
        }
        int eventBase, errorBase, major, minor;
        if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
            reason = "the X server does not offer the XTEST extension";
            XCloseDisplay(display);
            display = nullptr;
        }
    }
    ~Connection()
    {
        if (display)
            XCloseDisplay(display);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* display = nullptr;
    const char* reason = nullptr;
};

Connection& connection()
{
    static Connection instance;
    return instance;
}

void send(std::uint8_t virtualKey, bool down)
{
    Display* display = connection().display;
    if (!display)
        return;
    const KeySym keysym = keysymForVirtualKey(virtualKey);
    if (keysym == NoSymbol)
        return;
    const KeyCode keycode = XKeysymToKeycode(display, keysym);
    if (keycode == 0)
        return; // the current keymap has no key for it
    XTestFakeKeyEvent(display, keycode, down ? True : False, CurrentTime);
}

} // namespace

namespace keysender {

const char* unavailableReason()
{
    return connection().reason;
}

void press(std::uint8_t virtualKey)
{
    send(virtualKey, true);
}

void release(std::uint8_t virtualKey)
{
    send(virtualKey, false);
}

void flush()
{
    if (Display* display = connection().display)
        XFlush(display);
}

} // namespace keysender
