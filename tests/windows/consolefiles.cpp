// The simulated console's surroundings in the Windows hidapi DLL double: the control directory named by FAKEHID_DIR,
// laid out as for the Linux preload double (plugged, input, output, events), so a test on the Linux side of Wine
// drives the console by writing and reading plain files.
//
//   plugged  present: the console is plugged in; content "refused": present, but hid_open is refused;
//            "refuses writes": it opens, but every hid_write fails.
//            Removing it unplugs the console; a handle opened before is lost.
//   input    append-only, one report per line, "[<ns>] hh hh ..."; handed out in order, one per hid_read.
//   output   appended by the double: "<ns> 00 00 05 07 00" for every output report written.
//   events   appended by the double: "<ns> init|open|close|exit", and "<ns> input hh hh ..." for each report read.
//
// <ns> are the double's own monotonic nanoseconds: compare them with each other, not with the Linux clock.
#include "directorywatch.h"
#include "simulatedconsole.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace fakehid {

namespace {

struct Watch
{
    ConsoleDirectory directory;
    bool plugSeen = false;
    long inputOffset = 0;
    std::string partialLine;
    HANDLE changes = INVALID_HANDLE_VALUE;
};

Watch* watch()
{
    static std::optional<Watch> watched = []() -> std::optional<Watch> {
        const char* path = std::getenv("FAKEHID_DIR");
        if (!path || !*path)
            return std::nullopt;
        Watch created;
        created.directory.path = path;
        return created;
    }();
    return watched ? &*watched : nullptr;
}

} // namespace

const ConsoleDirectory* controlDirectory()
{
    Watch* w = watch();
    return w ? &w->directory : nullptr;
}

void followPlug(SimulatedConsole& console)
{
    Watch& w = *watch();
    std::string content;
    const bool present = readWholeFile(w.directory.plugged(), content);
    if (present && !w.plugSeen)
        console.plug();
    else if (!present && w.plugSeen)
        console.unplug();
    w.plugSeen = present;
    if (present) {
        console.refuseOpen(plugState(content) == refusedOpen);
        console.refuseWrites(plugState(content) == refusedWrites);
    }
}

void takeInput(SimulatedConsole& console)
{
    Watch& w = *watch();
    std::FILE* file = std::fopen(w.directory.input().c_str(), "rb");
    if (!file)
        return;
    char buffer[4096];
    std::size_t got = 0;
    if (std::fseek(file, w.inputOffset, SEEK_SET) == 0)
        got = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    w.inputOffset += static_cast<long>(got);
    w.partialLine.append(buffer, got);
    std::string::size_type newline;
    while ((newline = w.partialLine.find('\n')) != std::string::npos) {
        Report report;
        if (parseReportLine(w.partialLine.substr(0, newline), report))
            console.queueInput(std::move(report));
        w.partialLine.erase(0, newline + 1);
    }
}

// The double's own output and events files share the directory, so its writes wake a waiting read too; the read
// then finds nothing new and waits again.
Wait waitForChange(const ConsoleDirectory& directory, int timeoutMs)
{
    Watch& w = *watch();
    if (w.changes == INVALID_HANDLE_VALUE) {
        w.changes = FindFirstChangeNotificationA(directory.path.c_str(), FALSE,
                                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                     FILE_NOTIFY_CHANGE_LAST_WRITE);
        if (w.changes != INVALID_HANDLE_VALUE)
            return Wait::Changed;
    }
    // Where the file system cannot tell of changes, the read looks again every few milliseconds.
    if (w.changes == INVALID_HANDLE_VALUE) {
        Sleep(static_cast<DWORD>(timeoutMs >= 0 && timeoutMs < 5 ? timeoutMs : 5));
        return Wait::Changed;
    }
    if (WaitForSingleObject(w.changes, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return Wait::TimedOut;
    FindNextChangeNotification(w.changes);
    return Wait::Changed;
}

} // namespace fakehid
