/* Waits for the system tray of an X display: traywait DISPLAY SECONDS [PID]. Without PID, until a tray has claimed
 * the screen; with PID, until that process's icon is docked in it (a viewable window of the process that is not a
 * top-level one). Exit 0 when it happened in time. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static int ownedBy(Display* display, Window window, Atom pidAtom, unsigned long pid)
{
    Atom type;
    int format;
    unsigned long count, remaining;
    unsigned char* data = NULL;
    int owned = 0;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data) == Success && data) {
        owned = count == 1 && *(unsigned long*)data == pid;
        XFree(data);
    }
    return owned;
}

/* Whether a window below `parent` (not a top-level one) is the process's and viewable. */
static int docked(Display* display, Window parent, int depth, Atom pidAtom, unsigned long pid)
{
    Window root, up, *children = NULL;
    unsigned int count = 0;
    int found = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (depth > 0 && XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable && ownedBy(display, children[i], pidAtom, pid))
            found = 1;
        else
            found = docked(display, children[i], depth + 1, pidAtom, pid);
    }
    if (children)
        XFree(children);
    return found;
}

int main(int argc, char* argv[])
{
    if (argc != 3 && argc != 4) {
        fputs("usage: bench_traywait DISPLAY SECONDS [PID]\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(argv[1]);
    if (!display)
        return 1;
    const Atom tray = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    const unsigned long pid = argc == 4 ? strtoul(argv[3], NULL, 10) : 0;
    const int tries = atoi(argv[2]) * 500;
    const struct timespec pause = {0, 2000000};
    int done = 0;
    for (int i = 0; i < tries && !done; ++i) {
        done = pid ? docked(display, DefaultRootWindow(display), 0, pidAtom, pid)
                   : XGetSelectionOwner(display, tray) != None;
        if (!done)
            nanosleep(&pause, NULL);
    }
    XCloseDisplay(display);
    return done ? 0 : 1;
}
