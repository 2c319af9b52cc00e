// The simulated console keeps hidapi's promises that the link relies on, and stops a test that breaks them.
#include "fakehid.h"

#include <QtTest>

#include <hidapi.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <thread>

namespace {

using Misuse = std::function<void()>;

hid_device* openConsole()
{
    fakehid::plug();
    hid_device* device = hid_open(0x0D8C, 0x0013, nullptr);
    hid_set_nonblocking(device, 1);
    return device;
}

// Runs `misuse` in a child process; gives the child's fate and what it wrote to stderr.
bool diesWithAbort(const Misuse& misuse, QByteArray& message)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::close(pipeEnds[0]);
        misuse();
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    char buffer[512];
    ssize_t got = 0;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        message.append(buffer, int(got));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
}

} // namespace

Q_DECLARE_METATYPE(Misuse)

class TestFakeHid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void reads();
    void waitingRead_data();
    void waitingRead();
    void lostHandleStaysLost();
    void openRules();
    void switchReportEchoesLeds();
    void misuseAborts_data();
    void misuseAborts();
};

void TestFakeHid::init()
{
    fakehid::reset();
}

void TestFakeHid::reads()
{
    hid_device* device = openConsole();
    QVERIFY(device);
    unsigned char buffer[5] = {};
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 0);

    fakehid::queueInput({0x00, 0x01, 0x02, 0x03});
    fakehid::queueInput({1, 2, 3, 4, 5, 6, 7});
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 4);
    QCOMPARE(buffer[2], 0x02);
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 5);
    QCOMPARE(buffer[4], 5);
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 0);

    fakehid::queueInput({0x00, 0x01, 0x00, 0x00});
    fakehid::failNextRead(3);
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 3);
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 4);
    QCOMPARE(fakehid::pendingInput(), std::size_t(0));
    hid_close(device);
}

void TestFakeHid::waitingRead_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<int>("result");

    QTest::addRow("a report arrives") << "input" << 4;
    QTest::addRow("the console is pulled out") << "unplug" << -1;
    QTest::addRow("nothing happens") << "" << 0;
}

// A read waits, without end or up to its timeout, for what another thread does to the console, as a real one waits
// for the device.
void TestFakeHid::waitingRead()
{
    QFETCH(QString, meanwhile);
    QFETCH(int, result);

    hid_device* device = openConsole();
    int length = -2;
    std::thread reader([&] {
        unsigned char buffer[5] = {};
        length = hid_read_timeout(device, buffer, sizeof buffer, meanwhile.isEmpty() ? 50 : -1);
    });
    if (!meanwhile.isEmpty())
        QTRY_VERIFY(fakehid::readerWaiting());
    if (meanwhile == QLatin1String("input"))
        fakehid::queueSwitch(false);
    else if (meanwhile == QLatin1String("unplug"))
        fakehid::unplug();
    reader.join();
    QCOMPARE(length, result);
    QCOMPARE(fakehid::readsInFlight(), 0);
    hid_close(device);
}

void TestFakeHid::lostHandleStaysLost()
{
    hid_device* device = openConsole();
    const unsigned char report[5] = {0x00, 0x00, 0x05, 0x07, 0x00};
    QCOMPARE(hid_write(device, report, sizeof report), 5);
    fakehid::unplug();
    fakehid::plug();
    unsigned char buffer[5] = {};
    QCOMPARE(hid_read(device, buffer, sizeof buffer), -1);
    QCOMPARE(hid_write(device, report, sizeof report), -1);
    QCOMPARE(fakehid::outputs().size(), std::size_t(1));
    QCOMPARE(fakehid::outputs()[0].bytes, std::vector<unsigned char>(report, report + 5));
    hid_close(device);
    // A press while no handle reads is gone: the kernel drops what the console sent before the open.
    fakehid::queueSwitch(false);
    device = hid_open(0x0D8C, 0x0013, nullptr);
    QVERIFY(device);
    QCOMPARE(hid_read_timeout(device, buffer, sizeof buffer, 0), 0);
    QCOMPARE(hid_write(device, report, sizeof report), 5);
    hid_close(device);
}

void TestFakeHid::openRules()
{
    QVERIFY(!hid_open(0x0D8C, 0x0013, nullptr));
    fakehid::plug();
    fakehid::refuseOpen(true);
    QVERIFY(!hid_open(0x0D8C, 0x0013, nullptr));
    hid_device_info* found = hid_enumerate(0x0D8C, 0x0013);
    QVERIFY(found);
    QCOMPARE(found->vendor_id, 0x0D8C);
    QCOMPARE(found->product_id, 0x0013);
    QVERIFY(!found->next);
    QCOMPARE(fakehid::liveEnumerations(), 1);
    hid_free_enumeration(found);
    QCOMPARE(fakehid::liveEnumerations(), 0);
    QVERIFY(!hid_enumerate(0x046D, 0));

    fakehid::refuseOpen(false);
    QVERIFY(!hid_open(0x0D8C, 0x0014, nullptr));
    hid_device* device = hid_open(0x0D8C, 0x0013, nullptr);
    QVERIFY(device);
    QVERIFY2(!hid_open(0x0D8C, 0x0013, nullptr), "one handle at a time");
    wchar_t text[64];
    QCOMPARE(hid_get_product_string(device, text, 64), 0);
    QVERIFY(QString::fromWCharArray(text).contains(QLatin1String("console")));
    QCOMPARE(fakehid::opens(), 1);
    QCOMPARE(fakehid::openAttempts(), 5);
    QCOMPARE(fakehid::inits(), 1);
    hid_close(device);
    QCOMPARE(hid_exit(), 0);
    QCOMPARE(fakehid::closes(), 1);
    QCOMPARE(fakehid::exits(), 1);
}

void TestFakeHid::switchReportEchoesLeds()
{
    hid_device* device = openConsole();
    fakehid::queueSwitch(false);
    const unsigned char report[5] = {0x00, 0x00, 0xff, 0x07, 0x00};
    hid_write(device, report, sizeof report);
    fakehid::queueSwitch(true);
    unsigned char buffer[5] = {};
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 4);
    QCOMPARE(buffer[1], 0x00);
    QCOMPARE(hid_read(device, buffer, sizeof buffer), 4);
    QCOMPARE(buffer[1], 0x07);
    hid_close(device);
}

void TestFakeHid::misuseAborts_data()
{
    QTest::addColumn<Misuse>("misuse");

    QTest::addRow("read on a null handle") << Misuse([] {
        unsigned char buffer[5] = {};
        hid_read(nullptr, buffer, 5);
    });
    QTest::addRow("write on a closed handle") << Misuse([] {
        const unsigned char report[5] = {};
        hid_device* device = openConsole();
        hid_close(device);
        hid_write(device, report, 5);
    });
    QTest::addRow("close twice") << Misuse([] {
        hid_device* device = openConsole();
        hid_close(device);
        hid_close(device);
    });
    QTest::addRow("close null") << Misuse([] { hid_close(nullptr); });
    QTest::addRow("handle from before a reset") << Misuse([] {
        unsigned char buffer[5] = {};
        hid_device* device = openConsole();
        fakehid::reset();
        openConsole();
        hid_read(device, buffer, 5);
    });
    QTest::addRow("exit with the console open") << Misuse([] {
        openConsole();
        hid_exit();
    });
    QTest::addRow("close while a read waits") << Misuse([] {
        hid_device* device = openConsole();
        std::thread([device] {
            unsigned char buffer[5] = {};
            hid_read_timeout(device, buffer, 5, 10000);
        }).detach();
        for (int look = 0; look < 5000 && !fakehid::readerWaiting(); ++look)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        hid_close(device);
    });
    QTest::addRow("enumeration freed twice") << Misuse([] {
        fakehid::plug();
        hid_device_info* found = hid_enumerate(0, 0);
        hid_free_enumeration(found);
        hid_free_enumeration(found);
    });
}

void TestFakeHid::misuseAborts()
{
    QFETCH(Misuse, misuse);
    QByteArray message;
    QVERIFY2(diesWithAbort(misuse, message), message.constData());
    QVERIFY2(message.startsWith("fakehid: misuse"), message.constData());
}

QTEST_GUILESS_MAIN(TestFakeHid)
#include "tst_fakehid.moc"
