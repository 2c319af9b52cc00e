// The simulated console as a library that an unmodified program loads in place of hidapi
// (LD_PRELOAD=libfakehid.so), controlled by other processes through the directory named by FAKEHID_DIR:
//
//   plugged  present: the console is plugged in; content "refused": present, but hid_open is refused;
//            "refuses writes": it opens, but every hid_write fails; "holds writes": each fails after 2 s.
//            Each new file (a new inode) is a new plug-in: a handle opened before it is lost, as after a real
//            unplug. Rewriting the content in place only changes whether opening is allowed.
//   input    append-only, one report per line, "[<ns>] hh hh ..." (hex bytes); read from the start by each
//            process and handed out in order, one per hid_read.
//   output   appended by the double: "<ns> 00 00 05 07 00" for every output report written.
//   events   appended by the double: "<ns> init|open|close|exit|refused" (refused: a write), and
//            "<ns> input hh hh ..." when a report is handed to the program.
//
// All <ns> are CLOCK_MONOTONIC nanoseconds, comparable across processes. Each hidapi call costs one stat of
// `plugged` and one read of `input`; a read that finds nothing waits on inotify for either file to change, so a
// waiting program is woken only by what is done to the console. Without FAKEHID_DIR the console stays unplugged.
#include "directorywatch.h"
#include "simulatedconsole.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace fakehid {

namespace {

struct Watch
{
    ConsoleDirectory directory;
    bool plugSeen = false;
    struct stat plugStatus = {};
    int inputFd = -1;
    std::string partialLine;
    int changesFd = -1;
};

Watch* watch()
{
    static std::optional<Watch> watched = []() -> std::optional<Watch> {
        const char* path = std::getenv("FAKEHID_DIR");
        if (!path || !*path) {
            std::fprintf(stderr, "libfakehid: FAKEHID_DIR is not set: the simulated console stays unplugged\n");
            return std::nullopt;
        }
        Watch created;
        created.directory.path = path;
        return created;
    }();
    return watched ? &*watched : nullptr;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameContent(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Whether the events read from an inotify descriptor name one of the files that tell what the console does.
bool namesConsoleFile(const char* events, ssize_t length)
{
    for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        if (event->len > 0 && (std::strcmp(event->name, "plugged") == 0 || std::strcmp(event->name, "input") == 0))
            return true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return false;
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
    struct stat status = {};
    if (::stat(w.directory.plugged().c_str(), &status) != 0) {
        if (w.plugSeen)
            console.unplug();
        w.plugSeen = false;
        return;
    }
    const bool newPlug = !w.plugSeen || !sameFile(status, w.plugStatus);
    if (!newPlug && sameContent(status, w.plugStatus))
        return;
    if (newPlug) {
        if (w.plugSeen)
            console.unplug();
        console.plug();
    }
    std::string content;
    const std::string state = readWholeFile(w.directory.plugged(), content) ? plugState(content) : std::string();
    console.refuseOpen(state == refusedOpen);
    console.refuseWrites(state == refusedWrites || state == heldWrites, state == heldWrites);
    w.plugSeen = true;
    w.plugStatus = status;
}

void takeInput(SimulatedConsole& console)
{
    Watch& w = *watch();
    if (w.inputFd < 0)
        w.inputFd = ::open(w.directory.input().c_str(), O_RDONLY | O_CLOEXEC);
    if (w.inputFd < 0)
        return;
    char buffer[4096];
    const ssize_t got = ::read(w.inputFd, buffer, sizeof buffer);
    if (got <= 0)
        return;
    w.partialLine.append(buffer, static_cast<std::size_t>(got));
    std::string::size_type newline;
    while ((newline = w.partialLine.find('\n')) != std::string::npos) {
        const std::string line = w.partialLine.substr(0, newline);
        w.partialLine.erase(0, newline + 1);
        Report report;
        if (parseReportLine(line, report))
            console.queueInput(std::move(report));
        else if (line.find_first_not_of(" \t\r") != std::string::npos)
            std::fprintf(stderr, "libfakehid: ignoring input line \"%s\"\n", line.c_str());
    }
}

Wait waitForChange(const ConsoleDirectory& directory, int timeoutMs)
{
    Watch& w = *watch();
    if (w.changesFd < 0) {
        w.changesFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        constexpr std::uint32_t changes =
            IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
        if (w.changesFd < 0 || ::inotify_add_watch(w.changesFd, directory.path.c_str(), changes) < 0)
            misuse("hid_read_timeout", "cannot watch the control directory");
        // What changed before the watch began is looked at again now.
        return Wait::Changed;
    }
    const std::int64_t deadline = monotonicNs() + std::int64_t(timeoutMs) * 1000000;
    for (;;) {
        const std::int64_t leftMs =
            timeoutMs < 0 ? -1 : std::max<std::int64_t>((deadline - monotonicNs() + 999999) / 1000000, 0);
        pollfd changed{w.changesFd, POLLIN, 0};
        const int ready = leftMs != 0 ? ::poll(&changed, 1, static_cast<int>(leftMs)) : 0;
        if (ready < 0)
            return errno == EINTR ? Wait::Interrupted : Wait::Changed;
        if (ready == 0)
            return Wait::TimedOut;
        alignas(inotify_event) char events[4096];
        bool relevant = false;
        ssize_t got;
        while ((got = ::read(w.changesFd, events, sizeof events)) > 0)
            relevant = namesConsoleFile(events, got) || relevant;
        // The double's own output and events files live in the same directory: they wake nobody.
        if (relevant)
            return Wait::Changed;
    }
}

} // namespace fakehid
