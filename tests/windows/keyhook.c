/* keyhook: prints every key event that reaches the desktop, as a low-level keyboard hook sees it, one line each:
 *   "<vk hex> down|up extended=0|1 injected=0|1"
 * "ready" comes first, once the hook is in place. Ends after the given number of seconds (default 60). */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static LRESULT CALLBACK onKey(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION) {
        const KBDLLHOOKSTRUCT* key = (const KBDLLHOOKSTRUCT*)data;
        const int down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        printf("%02lx %s extended=%d injected=%d\n", (unsigned long)key->vkCode, down ? "down" : "up",
               (key->flags & LLKHF_EXTENDED) ? 1 : 0, (key->flags & LLKHF_INJECTED) ? 1 : 0);
        fflush(stdout);
    }
    return CallNextHookEx(NULL, code, message, data);
}

int main(int argc, char* argv[])
{
    const int seconds = argc > 1 ? atoi(argv[1]) : 60;
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, onKey, GetModuleHandleW(NULL), 0);
    if (!hook) {
        fprintf(stderr, "keyhook: SetWindowsHookEx failed: %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    puts("ready");
    fflush(stdout);
    SetTimer(NULL, 0, (UINT)(seconds > 0 ? seconds : 60) * 1000u, NULL);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0 && message.message != WM_TIMER)
        DispatchMessageW(&message);
    UnhookWindowsHookEx(hook);
    return 0;
}
