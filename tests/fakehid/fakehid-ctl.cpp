// fakehid-ctl: plugs, unplugs and operates the simulated console of a program started with libfakehid.so
// preloaded, and shows what the program sent to it. Works on the control directory (--dir, else $FAKEHID_DIR).
#include "consoledirectory.h"
#include "reports.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using fakehid::ConsoleDirectory;

constexpr double defaultWaitSeconds = 5.0;

int usage()
{
    std::fputs("usage: fakehid-ctl [--dir D] COMMAND\n"
               "  plug                 plug the console in (a new plug-in unless it is plugged already)\n"
               "  unplug               pull it out\n"
               "  refuse               plug it in with access refused (hid_open fails, enumeration lists it)\n"
               "  refuse-writes        plug it in taking no output report (hid_write fails)\n"
               "  hold-writes          as refuse-writes, each hid_write failing after 2 s\n"
               "  take-writes          the console plugged in takes output reports again, with no new plug-in\n"
               "  press | release      queue a switch report at level 0 | 1, echoing the LEDs last sent\n"
               "  report HEX...        queue one raw input report, e.g. report 00 01 00 00\n"
               "  leds                 show the LEDs of the last output report\n"
               "  outputs | events     print every output report | every event of the double\n"
               "  wait-open [SECONDS]  wait until the program has the console open (default 5 s)\n"
               "  wait-closed [SECONDS] wait until it has closed it again\n"
               "D defaults to $FAKEHID_DIR.\n",
               stderr);
    return 2;
}

bool makeDirectories(const std::string& path)
{
    for (std::string::size_type slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "fakehid-ctl: cannot create %s: %s\n", prefix.c_str(), std::strerror(errno));
            return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

// A new file under the name, so that the double sees a new plug-in.
int replacePlugFile(const ConsoleDirectory& directory, const char* content)
{
    if (!makeDirectories(directory.path))
        return 1;
    const std::string temporary = directory.plugged() + ".new." + std::to_string(::getpid());
    std::remove(temporary.c_str());
    if (!fakehid::appendLine(temporary, content) || std::rename(temporary.c_str(), directory.plugged().c_str()) != 0) {
        std::fprintf(stderr, "fakehid-ctl: cannot write %s: %s\n", directory.plugged().c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}

int plug(const ConsoleDirectory& directory, const char* state)
{
    std::string content;
    if (fakehid::readWholeFile(directory.plugged(), content) && fakehid::plugState(content) == state)
        return 0;
    return replacePlugFile(directory, state);
}

// The file changes in place: the double sees the same plug-in in another state.
int takeWrites(const ConsoleDirectory& directory)
{
    std::string content;
    if (!fakehid::readWholeFile(directory.plugged(), content)) {
        std::fprintf(stderr, "fakehid-ctl: no console is plugged in\n");
        return 1;
    }
    std::ofstream file(directory.plugged(), std::ios::trunc);
    file << "plugged\n";
    return file.flush() ? 0 : 1;
}

int unplug(const ConsoleDirectory& directory)
{
    if (std::remove(directory.plugged().c_str()) != 0 && errno != ENOENT) {
        std::fprintf(stderr, "fakehid-ctl: cannot remove %s: %s\n", directory.plugged().c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}

std::optional<unsigned char> lastLedByte(const ConsoleDirectory& directory)
{
    fakehid::Report report;
    if (!fakehid::parseReportLine(fakehid::lastLine(directory.output()), report) || report.size() < 3)
        return std::nullopt;
    return report[2];
}

int queue(const ConsoleDirectory& directory, const fakehid::Report& report)
{
    if (!makeDirectories(directory.path))
        return 1;
    if (!fakehid::appendLine(directory.input(),
                             std::to_string(fakehid::monotonicNs()) + ' ' + fakehid::hexBytes(report))) {
        std::fprintf(stderr, "fakehid-ctl: cannot append to %s: %s\n", directory.input().c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}

int queueRaw(const ConsoleDirectory& directory, const std::vector<std::string>& bytes)
{
    fakehid::Report report;
    for (const std::string& text : bytes) {
        unsigned char value = 0;
        if (!fakehid::parseHexByte(text, value) || report.size() == fakehid::maxReportSize) {
            std::fprintf(stderr, "fakehid-ctl: \"%s\" is not a hex byte, or the report is too long\n", text.c_str());
            return 2;
        }
        report.push_back(value);
    }
    if (report.empty())
        return usage();
    return queue(directory, report);
}

int showLeds(const ConsoleDirectory& directory)
{
    const std::optional<unsigned char> byte = lastLedByte(directory);
    if (!byte) {
        std::puts("no output report yet");
        return 1;
    }
    std::printf("incoming (bit 1): %s, connect (bit 2): %s, byte 2 = 0x%02x\n", (*byte & 0x02) ? "on" : "off",
                (*byte & 0x04) ? "on" : "off", *byte);
    return 0;
}

int print(const std::string& file)
{
    std::string content;
    if (fakehid::readWholeFile(file, content))
        std::fwrite(content.data(), 1, content.size(), stdout);
    return 0;
}

// Open when the last of the double's "open" and "close" events is an "open".
bool consoleOpen(const ConsoleDirectory& directory)
{
    std::string content;
    if (!fakehid::readWholeFile(directory.events(), content))
        return false;
    std::istringstream lines(content);
    std::string line;
    bool open = false;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string ns;
        std::string event;
        fields >> ns >> event;
        if (event == "open" || event == "close")
            open = event == "open";
    }
    return open;
}

int waitFor(const ConsoleDirectory& directory, bool open, const char* seconds)
{
    char* end = nullptr;
    const double limit = seconds ? std::strtod(seconds, &end) : defaultWaitSeconds;
    if (seconds && (*end != '\0' || limit < 0))
        return usage();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    while (consoleOpen(directory) != open) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "fakehid-ctl: the console was not %s within %g s\n", open ? "opened" : "closed",
                         limit);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    ConsoleDirectory directory;
    if (const char* fromEnvironment = std::getenv("FAKEHID_DIR"))
        directory.path = fromEnvironment;
    if (args.size() >= 2 && args[0] == "--dir") {
        directory.path = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (directory.path.empty() || args.empty())
        return usage();
    const std::string command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    const char* seconds = rest.empty() ? nullptr : rest[0].c_str();
    if (command == "report")
        return queueRaw(directory, rest);
    if (rest.size() > (command.rfind("wait-", 0) == 0 ? 1u : 0u))
        return usage();
    if (command == "plug")
        return plug(directory, "plugged");
    if (command == "refuse")
        return plug(directory, fakehid::refusedOpen);
    if (command == "refuse-writes")
        return plug(directory, fakehid::refusedWrites);
    if (command == "hold-writes")
        return plug(directory, fakehid::heldWrites);
    if (command == "take-writes")
        return takeWrites(directory);
    if (command == "unplug")
        return unplug(directory);
    if (command == "press" || command == "release")
        return queue(directory, fakehid::switchReport(command == "release", lastLedByte(directory).value_or(0)));
    if (command == "leds")
        return showLeds(directory);
    if (command == "outputs")
        return print(directory.output());
    if (command == "events")
        return print(directory.events());
    if (command == "wait-open")
        return waitFor(directory, true, seconds);
    if (command == "wait-closed")
        return waitFor(directory, false, seconds);
    return usage();
}
