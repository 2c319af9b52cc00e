// Times the switch of a running parlink (libfakehid.so preloaded) until its first key event reaches the X server:
//   bench_switchkeys DISPLAY CONSOLE_DIR PRESSES
// Each press is appended to the console's input file with the time it was written; an X Input 2 raw key listener
// on the display records when the first key of the combination arrives. Prints one line per press:
// "<written ns> <handed to the program ns> <first key ns>", all CLOCK_MONOTONIC.
#include "xrawkeys.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int keysTimeoutMs = 2000;
constexpr int consumedTimeoutMs = 2000;

std::int64_t monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The switch report at level 0 (pressed) or 1 (released), stamped and appended with one write.
std::int64_t appendSwitch(const std::string& inputFile, bool released)
{
    const int fd = ::open(inputFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    const std::int64_t now = monotonicNow();
    const std::string line = std::to_string(now) + (released ? " 00 01 00 00\n" : " 00 00 00 00\n");
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return written ? now : -1;
}

// When the simulated console handed each input report to the program, in order.
std::vector<std::int64_t> handedTimes(const std::string& eventsFile)
{
    std::vector<std::int64_t> times;
    std::ifstream events(eventsFile);
    std::string line;
    while (std::getline(events, line)) {
        std::istringstream fields(line);
        long long ns = 0;
        std::string event;
        if (fields >> ns >> event && event == "input")
            times.push_back(ns);
    }
    return times;
}

bool waitUntilHanded(const std::string& eventsFile, std::size_t count)
{
    const std::int64_t deadline = monotonicNow() + std::int64_t(consumedTimeoutMs) * 1000000;
    while (handedTimes(eventsFile).size() < count) {
        if (monotonicNow() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The whole combination is in once as many keys went up as went down, and none is held.
bool waitForCombination(XRawKeyListener& listener)
{
    const std::int64_t deadline = monotonicNow() + std::int64_t(keysTimeoutMs) * 1000000;
    for (std::size_t expected = 2;; ++expected) {
        const int left = static_cast<int>((deadline - monotonicNow()) / 1000000);
        if (left <= 0 || !listener.waitFor(expected, left))
            return false;
        std::size_t pressed = 0;
        for (const RawKeyEvent& event : listener.receive())
            pressed += event.pressed ? 1 : 0;
        if (2 * pressed == listener.receive().size() && !listener.anyKeyDown())
            return true;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fputs("usage: bench_switchkeys DISPLAY CONSOLE_DIR PRESSES\n", stderr);
        return 2;
    }
    XRawKeyListener listener(argv[1]);
    if (!listener.isValid()) {
        std::fprintf(stderr, "bench_switchkeys: %s\n", listener.errorString().c_str());
        return 1;
    }
    const std::string directory = argv[2];
    const std::string inputFile = directory + "/input";
    const std::string eventsFile = directory + "/events";
    const int presses = std::atoi(argv[3]);
    const std::size_t handedBefore = handedTimes(eventsFile).size();
    // Presses land at random points of the 10 ms poll, as a person's would.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pauseUs(15000, 35000);

    std::vector<std::int64_t> written;
    std::vector<std::int64_t> firstKey;
    for (int press = 0; press < presses; ++press) {
        listener.sync();
        listener.clear();
        const std::int64_t at = appendSwitch(inputFile, false);
        if (at < 0 || !listener.waitFor(1, keysTimeoutMs) || !waitForCombination(listener)) {
            std::fprintf(stderr, "bench_switchkeys: press %d brought no complete key combination\n", press);
            return 1;
        }
        written.push_back(at);
        firstKey.push_back(listener.receive().front().monotonicNs);
        if (appendSwitch(inputFile, true) < 0 || !waitUntilHanded(eventsFile, handedBefore + 2 * (press + 1))) {
            std::fprintf(stderr, "bench_switchkeys: the program did not take the release after press %d\n", press);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
    }
    const std::vector<std::int64_t> handed = handedTimes(eventsFile);
    for (int press = 0; press < presses; ++press)
        std::printf("%lld %lld %lld\n", static_cast<long long>(written[press]),
                    static_cast<long long>(handed[handedBefore + 2 * press]), static_cast<long long>(firstKey[press]));
    return 0;
}
