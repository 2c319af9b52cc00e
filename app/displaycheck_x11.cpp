// X11 and Wayland desktops: the toolkit needs DISPLAY or WAYLAND_DISPLAY and aborts without them.
#include "app/displaycheck.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

std::string displayProblem(const std::string& platform, const std::string& displayOption)
{
    const bool xcb = startsWith(platform, "xcb");
    const bool wayland = startsWith(platform, "wayland");
    if (!xcb && !wayland)
        return {}; // offscreen, minimal, vnc, eglfs...: no display server needed
    const std::string display = displayOption.empty() ? environment("DISPLAY") : displayOption;
    const std::string waylandDisplay = environment("WAYLAND_DISPLAY");
    if (display.empty() && waylandDisplay.empty())
        return "neither DISPLAY nor WAYLAND_DISPLAY is set";
    if (xcb && waylandDisplay.empty()) {
        Display* connection = XOpenDisplay(display.c_str());
        if (!connection)
            return "the X server at " + std::string(displayOption.empty() ? "DISPLAY=" : "-display ") + display +
                   " does not answer";
        XCloseDisplay(connection);
    }
    return {};
}

std::string toolkitStartProblem(const std::string& platform)
{
    const std::string waylandDisplay = environment("WAYLAND_DISPLAY");
    if (environment("DISPLAY").empty() && !waylandDisplay.empty() &&
        (startsWith(platform, "xcb") || startsWith(platform, "wayland")))
        return "there is only the Wayland display " + waylandDisplay +
               " and the toolkit cannot use it; Parlink needs XWayland (DISPLAY) on a Wayland desktop";
    return "the toolkit's platform plug-in \"" + platform + "\" could not start (see its messages above)";
}
