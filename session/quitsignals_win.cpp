// Windows: the end of the session (log off, shut down) takes the way out of "Quit", as SIGTERM does elsewhere.
//
// Windows sends WM_QUERYENDSESSION and then WM_ENDSESSION to every top-level window and ends the process as soon
// as WM_ENDSESSION has been answered. Qt's tray window passes neither message on, and the form has no window until
// it is first shown, so a hidden window of our own takes them, on a thread of its own: it asks the event loop to
// quit and holds WM_ENDSESSION until the program has ended by itself (settings stored, LEDs off, status 0).
// WM_CLOSE sent to it from outside (the installer, taskkill without /F) takes the same way out.
#include "session/quitsignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace {

constexpr wchar_t windowClassName[] = L"ParlinkSessionEnd";
// Windows takes a program that holds WM_ENDSESSION longer for hung; the orderly way out needs far less.
constexpr DWORD endSessionHoldMs = 5000;
constexpr DWORD threadEndWaitMs = 2000;
// How the destructor ends the window's thread, WM_CLOSE being taken for a request to quit.
constexpr UINT stopThreadMessage = WM_APP + 1;

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
using NativeResult = qintptr;
#else
using NativeResult = long;
#endif

class SessionWindow : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit SessionWindow(QuitSignalWatcher* watcher);
    ~SessionWindow() override;

    // Qt's own windows (the form, once shown) get the same messages. Qt would close them on the first (the form
    // only hides, so Qt would refuse the log-off) and end the event loop on the second, before the settings are
    // stored. This answers for them and leaves the session's end to our window. taskkill without /F sends WM_CLOSE
    // to every top-level window, Qt's hidden ones too; on the tray icon's, Qt would end the event loop without
    // asking the form: that takes the way out of "Quit" here.
    bool nativeEventFilter(const QByteArray& eventType, void* message, NativeResult* result) override;

private:
    static DWORD WINAPI run(void* self);
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static SessionWindow* of(HWND window);
    // From any thread: the event loop quits the way "Quit" does.
    void askToQuit();

    QuitSignalWatcher* watcher;
    HANDLE thread = nullptr;
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> sessionEnding{false};
};

SessionWindow::SessionWindow(QuitSignalWatcher* watcher) : QObject(watcher), watcher(watcher)
{
    thread = CreateThread(nullptr, 0, &SessionWindow::run, this, 0, nullptr);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

SessionWindow::~SessionWindow()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (!thread)
        return;
    // While the session ends, the thread holds WM_ENDSESSION until the process is gone: leave it be.
    if (!sessionEnding) {
        if (const HWND created = window)
            PostMessageW(created, stopThreadMessage, 0, 0);
        WaitForSingleObject(thread, threadEndWaitMs);
    }
    CloseHandle(thread);
}

// The form's window or a menu's, as opposed to the hidden windows Qt keeps for itself.
bool isQWindow(HWND native)
{
    const QWindowList windows = QGuiApplication::allWindows();
    return std::any_of(windows.cbegin(), windows.cend(), [native](const QWindow* window) {
        return window->handle() && reinterpret_cast<HWND>(window->winId()) == native;
    });
}

bool SessionWindow::nativeEventFilter(const QByteArray&, void* message, NativeResult* result)
{
    const auto* received = static_cast<const MSG*>(message);
    const UINT id = received->message;
    if (id == WM_CLOSE && !isQWindow(received->hwnd)) {
        askToQuit();
        return true;
    }
    if (id != WM_QUERYENDSESSION && id != WM_ENDSESSION)
        return false;
    // Messages taken from the queue come without a result to fill in.
    if (result)
        *result = id == WM_QUERYENDSESSION ? TRUE : 0;
    return true;
}

DWORD WINAPI SessionWindow::run(void* self)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &SessionWindow::windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = windowClassName;
    RegisterClassW(&windowClass);
    // Top-level, never shown: message-only windows are not told that the session ends.
    const HWND created =
        CreateWindowExW(0, windowClassName, L"Parlink", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance, self);
    if (!created)
        return 1;
    static_cast<SessionWindow*>(self)->window = created;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

SessionWindow* SessionWindow::of(HWND window)
{
    return reinterpret_cast<SessionWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void SessionWindow::askToQuit()
{
    QMetaObject::invokeMethod(watcher, "onSignalArrived", Qt::QueuedConnection);
}

LRESULT CALLBACK SessionWindow::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_CLOSE:
        of(window)->askToQuit();
        return 0;
    case stopThreadMessage:
        DestroyWindow(window);
        return 0;
    case WM_ENDSESSION:
        if (wParam) {
            SessionWindow* self = of(window);
            self->sessionEnding = true;
            self->askToQuit();
            // The program ends during this wait; returning would let Windows end it at once.
            Sleep(endSessionHoldMs);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

QuitSignalWatcher::QuitSignalWatcher(QObject* parent) : QObject(parent)
{
    source = new SessionWindow(this);
}

QuitSignalWatcher::~QuitSignalWatcher() = default;

void QuitSignalWatcher::onSignalArrived()
{
    emit quitRequested();
}
