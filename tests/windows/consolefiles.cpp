// The simulated console's surroundings in the Windows hidapi DLL double: the control directory named by FAKEHID_DIR,
// laid out as for the Linux preload double (plugged, input, output, events), so a test on the Linux side of Wine
// drives the console by writing and reading plain files.
//
//   plugged  present: the console is plugged in; content "refused": present, but hid_open is refused.
//            Removing it unplugs the console; a handle opened before is lost.
//   input    append-only, one report per line, "[<ns>] hh hh ..."; handed out in order, one per hid_read.
//   output   appended by the double: "<ns> 00 00 05 07 00" for every output report written.
//   events   appended by the double: "<ns> init|open|close|exit", and "<ns> input hh hh ..." for each report read.
//
// <ns> are the double's own monotonic nanoseconds: compare them with each other, not with the Linux clock.
#include "consoledirectory.h"
#include "simulatedconsole.h"
#include "surroundings.h"

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

void followPlug(SimulatedConsole& console, Watch& w)
{
    std::string content;
    const bool present = readWholeFile(w.directory.plugged(), content);
    if (present && !w.plugSeen)
        console.plug();
    else if (!present && w.plugSeen)
        console.unplug();
    w.plugSeen = present;
    if (present)
        console.refuseOpen(saysRefused(content));
}

void takeInput(SimulatedConsole& console, Watch& w)
{
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

} // namespace

bool saysRefused(const std::string& pluggedContent)
{
    const auto first = pluggedContent.find_first_not_of(" \t\r\n");
    const auto last = pluggedContent.find_last_not_of(" \t\r\n");
    return first != std::string::npos && pluggedContent.substr(first, last - first + 1) == "refused";
}

bool appendLine(const std::string& file, const std::string& line)
{
    std::FILE* stream = std::fopen(file.c_str(), "ab");
    if (!stream)
        return false;
    const std::string text = line + '\n';
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fclose(stream) == 0 && written;
}

bool readWholeFile(const std::string& file, std::string& content)
{
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (!stream)
        return false;
    content.clear();
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        content.append(buffer, got);
    std::fclose(stream);
    return true;
}

void lookAround(SimulatedConsole& console)
{
    Watch* w = watch();
    if (!w)
        return;
    followPlug(console, *w);
    takeInput(console, *w);
}

void outputWritten(const Report& report, std::int64_t ns)
{
    if (Watch* w = watch())
        appendLine(w->directory.output(), std::to_string(ns) + ' ' + hexBytes(report));
}

void eventHappened(const char* event, std::int64_t ns, const Report* report)
{
    Watch* w = watch();
    if (!w)
        return;
    std::string line = std::to_string(ns) + ' ' + event;
    if (report)
        line += ' ' + hexBytes(*report);
    appendLine(w->directory.events(), line);
}

} // namespace fakehid
