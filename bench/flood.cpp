// Sends a datagram flood to the status port and says how it went, for bench/run:
//   bench_flood mixed COUNT SEED LAST_WORD | bench_flood invalid COUNT SEED
// prints "sent drops start_ns end_ns" (CLOCK_MONOTONIC), exits 1 when the receiver stalled.
#include "datagramflood.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char* argv[])
{
    const bool mixed = argc == 5 && std::strcmp(argv[1], "mixed") == 0;
    const bool invalid = argc == 4 && std::strcmp(argv[1], "invalid") == 0;
    if (!mixed && !invalid) {
        std::fputs("usage: bench_flood mixed COUNT SEED LAST_WORD | bench_flood invalid COUNT SEED\n", stderr);
        return 2;
    }
    const std::size_t count = std::strtoul(argv[2], nullptr, 10);
    const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const flood::Plan plan = mixed ? flood::mixedPlan(count, seed, argv[4]) : flood::invalidPlan(count, seed);
    const flood::Result result = flood::send(plan);
    std::printf("%zu %llu %lld %lld\n", result.sent, static_cast<unsigned long long>(result.drops),
                static_cast<long long>(result.startNs), static_cast<long long>(result.endNs));
    if (!result.completed) {
        std::fprintf(stderr, "bench_flood: %s\n", result.error.c_str());
        return 1;
    }
    return 0;
}
