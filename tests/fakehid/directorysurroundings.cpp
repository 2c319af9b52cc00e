// The simulated console's surroundings when other processes drive it through the control directory: what they did
// is taken in before every hidapi call, and what the program did is appended to the directory's files.
#include "directorywatch.h"
#include "surroundings.h"

#include <chrono>
#include <thread>

namespace fakehid {

void lookAround(SimulatedConsole& console)
{
    if (!controlDirectory())
        return;
    followPlug(console);
    takeInput(console);
}

Wait waitForOutside(int timeoutMs)
{
    if (const ConsoleDirectory* directory = controlDirectory())
        return waitForChange(*directory, timeoutMs);
    // Without a directory nothing can ever arrive.
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return Wait::TimedOut;
}

void outputWritten(const Report& report, std::int64_t ns)
{
    if (const ConsoleDirectory* directory = controlDirectory())
        appendLine(directory->output(), std::to_string(ns) + ' ' + hexBytes(report));
}

void eventHappened(const char* event, std::int64_t ns, const Report* report)
{
    const ConsoleDirectory* directory = controlDirectory();
    if (!directory)
        return;
    std::string line = std::to_string(ns) + ' ' + event;
    if (report)
        line += ' ' + hexBytes(*report);
    appendLine(directory->events(), line);
}

} // namespace fakehid
