/* Waits until a system tray has claimed the screen of an X display: traywait DISPLAY SECONDS, exit 0 when it has. */
#include <X11/Xlib.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        fputs("usage: bench_traywait DISPLAY SECONDS\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(argv[1]);
    if (!display)
        return 1;
    const Atom tray = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
    const int tries = atoi(argv[2]) * 50;
    const struct timespec pause = {0, 20000000};
    int claimed = 0;
    for (int i = 0; i < tries && !claimed; ++i) {
        claimed = XGetSelectionOwner(display, tray) != None;
        if (!claimed)
            nanosleep(&pause, NULL);
    }
    XCloseDisplay(display);
    return claimed ? 0 : 1;
}
