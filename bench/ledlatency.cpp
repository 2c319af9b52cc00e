// From an LED operation on the GUI thread to the console's hid_write, with the console's worker waiting in its read
// as it does nearly all the time: the console link over the simulated console linked in place of hidapi, whose
// output reports carry the CLOCK_MONOTONIC time of their hid_write.
//   bench_ledlatency [N]   prints the median, p99 and max over N operations (default 2000)
#include "console/chidvoip.h"
#include "fakehid.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The worker back in its wait, and some time for it to fall asleep there, as between a user's LED changes.
bool workerWaits()
{
    for (int look = 0; look < 5000 && !fakehid::readerWaiting(); ++look)
        QThread::usleep(200);
    QThread::usleep(1000);
    return fakehid::readerWaiting();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int operations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    fakehid::plug();
    CHidVoip link(nullptr);
    QMetaObject::invokeMethod(&link, "hidConnectTimer");
    if (!link.isConnected()) {
        std::fprintf(stderr, "bench_ledlatency: the simulated console did not open\n");
        return 1;
    }
    std::vector<double> micros;
    for (int operation = 0; operation < operations; ++operation) {
        if (!workerWaits()) {
            std::fprintf(stderr, "bench_ledlatency: the console's worker does not wait in a read\n");
            return 1;
        }
        fakehid::clearOutputs();
        const std::int64_t before = monotonicNs();
        link.setIncomingLed(operation % 2 == 0);
        for (int look = 0; look < 5000 && fakehid::outputs().empty(); ++look)
            QThread::usleep(100);
        const std::vector<fakehid::OutputReport> written = fakehid::outputs();
        if (written.size() != 1) {
            std::fprintf(stderr, "bench_ledlatency: %zu output reports for one LED operation\n", written.size());
            return 1;
        }
        micros.push_back(double(written.front().monotonicNs - before) / 1000);
    }
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double fraction) { return micros[std::size_t(fraction * double(micros.size() - 1) + 0.5)]; };
    std::printf("median %.1f us, p99 %.1f us, max %.1f us over %d LED operations\n", at(0.5), at(0.99), micros.back(),
                operations);
    return 0;
}
