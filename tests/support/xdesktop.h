// What a person at an X desktop sees and does, for end-to-end tests: the windows a process has on screen,
// mouse clicks, key strokes, a window manager's close request, and screenshots.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

typedef struct _XDisplay Display;

struct DesktopWindow
{
    unsigned long id = 0;
    QString title;
    // On the root window, in pixels.
    QRect geometry;
    bool viewable = false;
    // Inside another client's window, as an icon that a system tray has taken in.
    bool embedded = false;
    bool popupMenu = false;
};

class XDesktop
{
public:
    explicit XDesktop(const QByteArray& displayName);
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    bool isValid() const { return display != nullptr; }

    // Whether a system tray host has claimed the screen's tray.
    bool hasSystemTray();

    // Every window, at any depth, that the process with this id says is its own.
    QList<DesktopWindow> windowsOf(qint64 pid);

    void click(QPoint onRoot, int button);
    void typeKey(unsigned long keysym);
    // What a window manager's close button does: asks the window's owner to close it (WM_DELETE_WINDOW).
    void requestClose(unsigned long window);
    // The window's content as the server holds it; null when it cannot be read.
    QImage grab(unsigned long window);

private:
    Display* display = nullptr;
};
