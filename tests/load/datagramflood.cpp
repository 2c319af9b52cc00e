#include "datagramflood.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

namespace flood {

namespace {

const char* const statusWords[] = {"-s incoming", "-s connected", "-s disconnected"};

// Close to a status word, but not one: the listener must drop each of them.
const char* const nearMisses[] = {
    "-s Incoming",
    "-S connected",
    "-s connected ",
    " -s connected",
    "-s  connected",
    "-s\tdisconnected",
    "connected",
    "-s",
    "-s ",
    "-s connect",
    "-s connectedd",
    "-sincoming",
    "--s disconnected",
    "-s incoming\n",
    "-s incoming\r\n",
    "-s INCOMING",
    "-l connected",
    "-u incoming",
    "\xff\xfe-s connected",
    "-s conn\xc3\xa9"
    "cted",
};

constexpr std::size_t largeMin = 1024;
constexpr std::size_t largeMax = 16 * 1024;
constexpr std::uint64_t fallbackReceiveBuffer = 212992;
constexpr int totalLimitMs = 300000;

using Random = std::mt19937;

std::size_t pick(Random& random, std::size_t below)
{
    return std::uniform_int_distribution<std::size_t>(0, below - 1)(random);
}

std::string randomBytes(Random& random, std::size_t length)
{
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(pick(random, 256));
    return bytes;
}

std::string validDatagram(Random& random)
{
    std::string word = statusWords[pick(random, 3)];
    // Softphones that send C strings: the zero byte ends the text, whatever follows.
    if (pick(random, 8) == 0)
        word += std::string(1, '\0') + randomBytes(random, 1 + pick(random, 32));
    return word;
}

std::string invalidDatagram(Random& random)
{
    std::string payload;
    do {
        switch (pick(random, 10)) {
        case 0:
            payload.clear();
            break;
        case 1:
            payload = std::string(1, '\0') + statusWords[pick(random, 3)];
            break;
        case 2:
            payload = randomBytes(random, 1 + pick(random, 64));
            break;
        case 3:
            if (pick(random, 50) == 0) {
                payload = std::string(statusWords[pick(random, 3)]) +
                          std::string(largeMin + pick(random, largeMax - largeMin), 'x');
                break;
            }
            [[fallthrough]];
        default:
            payload = nearMisses[pick(random, sizeof nearMisses / sizeof *nearMisses)];
            break;
        }
    } while (isValid(payload));
    return payload;
}

std::uint64_t receiveBufferSize()
{
    std::ifstream file("/proc/sys/net/core/rmem_default");
    std::uint64_t size = 0;
    return (file >> size) && size > 0 ? size : fallbackReceiveBuffer;
}

// What a queued datagram costs the receiver's buffer, generously: small ones take a page fragment and the
// socket buffer head, large ones a power-of-two allocation.
std::uint64_t bufferCost(std::size_t payloadSize)
{
    return 2 * static_cast<std::uint64_t>(payloadSize) + 1280;
}

void addSocketLines(const char* table, std::uint16_t port, ReceiverQueue& queue)
{
    std::ifstream file(table);
    std::string line;
    std::getline(file, line);
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode, references, pointer;
        std::uint64_t drops = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode >>
              references >> pointer >> drops))
            continue;
        const auto colon = local.rfind(':');
        if (colon == std::string::npos || std::stoul(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        const auto queueColon = queues.find(':');
        queue.found = true;
        queue.queuedBytes += std::stoull(queues.substr(queueColon + 1), nullptr, 16);
        queue.drops += drops;
    }
}

} // namespace

bool isValid(const std::string& payload)
{
    const std::string text = payload.substr(0, payload.find('\0'));
    for (const char* word : statusWords) {
        if (text == word)
            return true;
    }
    return false;
}

Plan mixedPlan(std::size_t count, std::uint32_t seed, const std::string& lastValidWord, std::size_t tailLength)
{
    Random random(seed);
    Plan plan;
    plan.datagrams.reserve(count);
    const std::size_t body = count - tailLength - 1;
    for (std::size_t i = 0; i < body; ++i)
        plan.datagrams.push_back(pick(random, 10) < 3 ? validDatagram(random) : invalidDatagram(random));
    plan.lastValidIndex = plan.datagrams.size();
    plan.datagrams.push_back(lastValidWord);
    for (std::size_t i = 0; i < tailLength; ++i)
        plan.datagrams.push_back(invalidDatagram(random));
    return plan;
}

Plan invalidPlan(std::size_t count, std::uint32_t seed)
{
    Random random(seed);
    Plan plan;
    plan.datagrams.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        plan.datagrams.push_back(invalidDatagram(random));
    plan.lastValidIndex = count;
    return plan;
}

ReceiverQueue receiverQueue(std::uint16_t port)
{
    ReceiverQueue queue;
    addSocketLines("/proc/net/udp", port, queue);
    addSocketLines("/proc/net/udp6", port, queue);
    return queue;
}

std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

Result send(const Plan& plan, int stallMs, std::uint16_t port)
{
    Result result;
    ReceiverQueue queue = receiverQueue(port);
    if (!queue.found) {
        result.error = "nothing is bound to the port";
        return result;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.error = std::string("socket: ") + std::strerror(errno);
        return result;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    destination.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    const std::uint64_t budget = receiveBufferSize() / 2;
    const std::uint64_t dropsBefore = queue.drops;
    std::uint64_t estimate = queue.queuedBytes;
    result.startNs = monotonicNs();
    const std::int64_t deadline = result.startNs + std::int64_t(totalLimitMs) * 1000000;

    // Waits until the queue holds at most `room` bytes; false when the receiver stalls or time is up.
    auto waitForRoom = [&](std::uint64_t room) {
        std::uint64_t lowest = estimate;
        std::int64_t lastProgress = monotonicNs();
        for (;;) {
            queue = receiverQueue(port);
            const std::int64_t now = monotonicNs();
            if (queue.queuedBytes <= room) {
                estimate = queue.queuedBytes;
                return true;
            }
            if (queue.queuedBytes < lowest) {
                lowest = queue.queuedBytes;
                lastProgress = now;
            }
            if (now - lastProgress > std::int64_t(stallMs) * 1000000 || now > deadline) {
                result.error = "the receiver took nothing for " + std::to_string(stallMs) + " ms (" +
                               std::to_string(queue.queuedBytes) + " bytes queued)";
                return false;
            }
            sched_yield();
        }
    };

    for (std::size_t i = 0; i < plan.datagrams.size(); ++i) {
        const std::string& payload = plan.datagrams[i];
        const std::uint64_t cost = bufferCost(payload.size());
        if (i == plan.lastValidIndex && !waitForRoom(0))
            break;
        if (estimate + cost > budget && !waitForRoom(budget > cost ? budget - cost : 0))
            break;
        ssize_t written = -1;
        for (int attempt = 0; attempt < 100 && written < 0; ++attempt) {
            written = ::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
                               sizeof destination);
            if (written < 0 && errno != EINTR && errno != ENOBUFS && errno != EAGAIN)
                break;
        }
        if (written != static_cast<ssize_t>(payload.size())) {
            result.error = std::string("sendto: ") + std::strerror(errno);
            break;
        }
        estimate += cost;
        ++result.sent;
    }
    result.endNs = monotonicNs();
    ::close(fd);
    result.completed = result.sent == plan.datagrams.size();
    result.drops = receiverQueue(port).drops - dropsBefore;
    return result;
}

} // namespace flood
