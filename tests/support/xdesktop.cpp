#include "xdesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// Windows come and go while we look at them; a vanished one is simply left out.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

Atom atom(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}

// The items of a property of 32-bit format (Xlib hands them over as longs), or none.
QList<unsigned long> longsProperty(Display* display, Window window, Atom property, Atom type)
{
    QList<unsigned long> values;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long bytesLeft = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actualType, &format, &count, &bytesLeft,
                           &data) == Success &&
        data) {
        if (format == 32) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long i = 0; i < count; ++i)
                values.append(items[i]);
        }
        XFree(data);
    }
    return values;
}

QString title(Display* display, Window window)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long bytesLeft = 0;
    unsigned char* data = nullptr;
    QString text;
    if (XGetWindowProperty(display, window, atom(display, "_NET_WM_NAME"), 0, 1024, False,
                           atom(display, "UTF8_STRING"), &actualType, &format, &count, &bytesLeft, &data) == Success &&
        data) {
        text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(count));
        XFree(data);
        return text;
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        text = QString::fromLocal8Bit(name);
        XFree(name);
    }
    return text;
}

struct TreeEntry
{
    Window window;
    Window parent;
};

void collectChildren(Display* display, Window window, QList<TreeEntry>& into)
{
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i) {
        into.append({children[i], window});
        collectChildren(display, children[i], into);
    }
    if (children)
        XFree(children);
}

} // namespace

XDesktop::XDesktop(const QByteArray& displayName)
{
    XSetErrorHandler(ignoreErrors);
    display = XOpenDisplay(displayName.constData());
}

XDesktop::~XDesktop()
{
    if (display)
        XCloseDisplay(display);
}

bool XDesktop::hasSystemTray()
{
    const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(display));
    return XGetSelectionOwner(display, atom(display, selection.constData())) != None;
}

QList<DesktopWindow> XDesktop::windowsOf(qint64 pid)
{
    const Atom pidAtom = atom(display, "_NET_WM_PID");
    const Atom typeAtom = atom(display, "_NET_WM_WINDOW_TYPE");
    const Atom popupMenuAtom = atom(display, "_NET_WM_WINDOW_TYPE_POPUP_MENU");
    const Atom toolTipAtom = atom(display, "_NET_WM_WINDOW_TYPE_TOOLTIP");
    const Window root = DefaultRootWindow(display);

    QList<TreeEntry> all;
    XGrabServer(display); // one consistent picture of the tree
    collectChildren(display, root, all);
    QList<DesktopWindow> found;
    for (const TreeEntry& entry : all) {
        const Window window = entry.window;
        const QList<unsigned long> pids = longsProperty(display, window, pidAtom, XA_CARDINAL);
        if (pids.isEmpty() || static_cast<qint64>(pids.first()) != pid)
            continue;
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, window, &attributes))
            continue;
        int x = 0;
        int y = 0;
        Window child = None;
        XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
        DesktopWindow info;
        info.id = window;
        info.title = title(display, window);
        info.geometry = QRect(x, y, attributes.width, attributes.height);
        info.viewable = attributes.map_state == IsViewable;
        info.embedded = entry.parent != root;
        // Qt 5 marks its menus as such; Qt 6 gives them the normal type, but they still bypass the window manager.
        const QList<unsigned long> types = longsProperty(display, window, typeAtom, XA_ATOM);
        info.popupMenu = types.contains(popupMenuAtom) ||
                         (attributes.override_redirect && !info.embedded && !types.contains(toolTipAtom));
        found.append(info);
    }
    XUngrabServer(display);
    XSync(display, False);
    return found;
}

void XDesktop::click(QPoint onRoot, int button)
{
    XTestFakeMotionEvent(display, -1, onRoot.x(), onRoot.y(), CurrentTime);
    XTestFakeButtonEvent(display, static_cast<unsigned int>(button), True, CurrentTime);
    XTestFakeButtonEvent(display, static_cast<unsigned int>(button), False, CurrentTime);
    XSync(display, False);
}

void XDesktop::typeKey(unsigned long keysym)
{
    const KeyCode keycode = XKeysymToKeycode(display, keysym);
    XTestFakeKeyEvent(display, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display, keycode, False, CurrentTime);
    XSync(display, False);
}

void XDesktop::requestClose(unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom(display, "WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom(display, "WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

QImage XDesktop::grab(unsigned long window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return {};
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned int>(attributes.width),
                              static_cast<unsigned int>(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    QImage copy;
    // Xvfb's 24-bit screens hold 0xRRGGBB in 32-bit pixels, the layout of QImage::Format_RGB32.
    if (image->bits_per_pixel == 32 && image->red_mask == 0xff0000 && image->green_mask == 0xff00 &&
        image->blue_mask == 0xff && image->byte_order == LSBFirst) {
        copy = QImage(reinterpret_cast<const uchar*>(image->data), image->width, image->height, image->bytes_per_line,
                      QImage::Format_RGB32)
                   .copy();
    }
    XDestroyImage(image);
    return copy;
}
