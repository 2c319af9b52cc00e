#include "xrawkeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <ctime>
#include <poll.h>

namespace {

std::int64_t monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

XRawKeyListener::XRawKeyListener(const char* displayName)
{
    display = XOpenDisplay(displayName);
    if (!display) {
        error = "cannot open the X display";
        return;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 2;
    // 2.1 or later: raw events arrive even while another client grabs the keyboard.
    int minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &inputOpcode, &eventBase, &errorBase) ||
        XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1)) {
        error = "the X server offers no X Input 2.1";
        XCloseDisplay(display);
        display = nullptr;
        return;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask;
    // Master devices only: each event once, whichever physical or virtual keyboard made it.
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XSync(display, False);
}

XRawKeyListener::~XRawKeyListener()
{
    if (display)
        XCloseDisplay(display);
}

void XRawKeyListener::readQueued()
{
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        const std::int64_t readAt = monotonicNow();
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != inputOpcode || !XGetEventData(display, cookie))
            continue;
        if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            events.push_back({raw->detail, cookie->evtype == XI_RawKeyPress, readAt});
        }
        XFreeEventData(display, cookie);
    }
}

const std::vector<RawKeyEvent>& XRawKeyListener::receive()
{
    if (display)
        readQueued();
    return events;
}

const std::vector<RawKeyEvent>& XRawKeyListener::sync()
{
    if (display) {
        XSync(display, False);
        readQueued();
    }
    return events;
}

bool XRawKeyListener::waitFor(std::size_t count, int timeoutMs)
{
    if (!display)
        return false;
    const std::int64_t deadline = monotonicNow() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    readQueued();
    while (events.size() < count) {
        const std::int64_t left = deadline - monotonicNow();
        if (left <= 0)
            return false;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, static_cast<int>(left / 1000000) + 1);
        readQueued();
    }
    return true;
}

bool XRawKeyListener::anyKeyDown()
{
    if (!display)
        return false;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (char byte : keys) {
        if (byte != 0)
            return true;
    }
    return false;
}
