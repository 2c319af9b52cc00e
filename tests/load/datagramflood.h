// A flood of status datagrams for load tests and benchmarks: a reproducible mix of valid and invalid ones, and a
// sender that goes as fast as the receiving socket takes them on loopback, so that the kernel drops none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flood {

constexpr std::uint16_t statusPort = 6123;

struct Plan
{
    std::vector<std::string> datagrams;
    // The last datagram a listener in remote mode acts on; datagrams.size() when there is none.
    std::size_t lastValidIndex = 0;
};

// count datagrams (count > tailLength): status words, the same with a zero byte and junk after them, near
// misses, garbage, empty and large ones; lastValidWord ("-s connected", ...) is the last one acted on, followed
// by tailLength invalid ones.
Plan mixedPlan(std::size_t count, std::uint32_t seed, const std::string& lastValidWord, std::size_t tailLength = 16);
// count datagrams of which none is acted on, so a blinking LED keeps blinking through them.
Plan invalidPlan(std::size_t count, std::uint32_t seed);
// Whether a listener in remote mode acts on this payload: its text up to the first zero byte is a status word.
bool isValid(const std::string& payload);

// The sockets bound to the port on this machine (in this network namespace), from /proc/net/udp and udp6.
struct ReceiverQueue
{
    bool found = false;
    std::uint64_t queuedBytes = 0;
    std::uint64_t drops = 0;
};
ReceiverQueue receiverQueue(std::uint16_t port = statusPort);

struct Result
{
    bool completed = false;
    std::size_t sent = 0;
    // Dropped by the kernel at the receiving socket while the flood ran.
    std::uint64_t drops = 0;
    std::int64_t startNs = 0;
    std::int64_t endNs = 0;
    std::string error;
};

// Sends the plan to 127.0.0.1:port, keeping the receiver's queue under half its buffer, and waits for the queue
// to empty before the last valid datagram, so that it and all after it surely arrive. Gives up (completed false)
// when the receiver takes nothing for stallMs.
Result send(const Plan& plan, int stallMs = 10000, std::uint16_t port = statusPort);

// CLOCK_MONOTONIC in nanoseconds, as the simulated console stamps its reports.
std::int64_t monotonicNs();

} // namespace flood
