/* earlierparlink: stands in for a Parlink of an earlier version, as the installer meets it during an upgrade. It
 * has the hidden window that every version has; WM_CLOSE only destroys that window (the process runs on, as such a
 * version did), the end of the session ends it with status 0. Prints "ready" once the window is there; ends by
 * itself after 60 seconds with status 3. */
#include <windows.h>

#include <stdio.h>

static LRESULT CALLBACK onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENDSESSION && wParam)
        ExitProcess(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

int main(void)
{
    WNDCLASSW windowClass = {0};
    windowClass.lpfnWndProc = onMessage;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"ParlinkSessionEnd";
    RegisterClassW(&windowClass);
    if (!CreateWindowExW(0, windowClass.lpszClassName, L"Parlink", WS_OVERLAPPED, 0, 0, 0, 0, NULL, NULL,
                         windowClass.hInstance, NULL))
        return 1;
    puts("ready");
    fflush(stdout);
    SetTimer(NULL, 0, 60000, NULL);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        if (message.message == WM_TIMER)
            return 3;
        DispatchMessageW(&message);
    }
    return 2;
}
