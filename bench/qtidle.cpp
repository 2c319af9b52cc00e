// Yardsticks for idle cost: Qt programs that do nothing but look after the console.
//   bench_qtidle                 a 10 ms timer alone, as the console poll of earlier versions ran
//   bench_qtidle --poll-console  the timer reads the console as those versions did (one hid_read per tick), so
//                                that under the preloaded simulated console both pay the same for the device
//   bench_qtidle --wait-console  opens the console and waits for its reports on a thread, with no timer: the
//                                least a program that follows the switch can cost
//   bench_qtidle --qt-version    prints the Qt version it runs on and exits
#include <QApplication>
#include <QTimer>

#include <hidapi.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

void waitForReports(hid_device* console)
{
    unsigned char report[5];
    while (hid_read_timeout(console, report, sizeof report, 60000) >= 0) {
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "--qt-version") == 0) {
        std::printf("%s\n", qVersion());
        return 0;
    }
    QApplication app(argc, argv);
    hid_device* console = nullptr;
    if (std::strcmp(mode, "--wait-console") == 0) {
        console = hid_open(0x0D8C, 0x0013, nullptr);
        if (!console) {
            std::fprintf(stderr, "bench_qtidle: no console to wait on\n");
            return 1;
        }
        std::thread(waitForReports, console).detach();
        return app.exec();
    }
    const bool pollConsole = std::strcmp(mode, "--poll-console") == 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!pollConsole)
            return;
        if (!console) {
            console = hid_open(0x0D8C, 0x0013, nullptr);
            if (console)
                hid_set_nonblocking(console, 1);
            return;
        }
        unsigned char report[5];
        hid_read(console, report, sizeof report);
    });
    poll.start(10);
    const int status = app.exec();
    if (console)
        hid_close(console);
    return status;
}
