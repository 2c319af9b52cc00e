// The yardstick for idle cost: a Qt program that does nothing but run a 10 ms timer, as the console poll does.
//   bench_qtidle                 the timer alone
//   bench_qtidle --poll-console  the timer reads the console as the program does (one hid_read per tick), so
//                                that under the preloaded simulated console both pay the same for the device
//   bench_qtidle --qt-version    prints the Qt version it runs on and exits
#include <QApplication>
#include <QTimer>

#include <hidapi.h>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--qt-version") == 0) {
        std::printf("%s\n", qVersion());
        return 0;
    }
    const bool pollConsole = argc > 1 && std::strcmp(argv[1], "--poll-console") == 0;
    QApplication app(argc, argv);
    hid_device* console = nullptr;
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
