// Many unplug/replug cycles and many input reports: nothing fails, nothing piles up.
#include "consolelinkdriver.h"
#include "fakehid.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int cycles = 1000;
constexpr int reportsPerCycle = 100;

// Resident memory in kB, for the log: allocator noise makes it no good as an assertion.
long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

class TestConsoleSoak : public QObject
{
    Q_OBJECT

private slots:
    void replugAndReadMany();
};

void TestConsoleSoak::replugAndReadMany()
{
    fakehid::reset();
    ConsoleLinkDriver driver(2);
    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);
    const long startKb = residentKb();
    long clicks = 0;

    for (int cycle = 0; cycle < cycles; ++cycle) {
        QVERIFY(driver.open());
        // Alternating levels: on model 2 every report is a movement. The last report of a cycle is at level 1,
        // so the first of the next cycle (level 0) is a movement too.
        for (int n = 0; n < reportsPerCycle; ++n) {
            fakehid::queueSwitch(n % 2 == 1);
            driver.poll();
            driver.link().setIncomingLed(n % 4 < 2);
        }
        clicks += reportsPerCycle;
        QCOMPARE(clicked.count(), clicks);
        QCOMPARE(fakehid::outputs().size(), std::size_t(reportsPerCycle));
        if (cycle % 2 == 0)
            fakehid::unplug();
        else
            fakehid::failNextRead(-1);
        driver.poll();
        QVERIFY(!driver.link().isConnected());
        if (cycle % 2 == 0) {
            driver.connectTick();
            QVERIFY(!driver.link().isConnected());
        }
        QCOMPARE(fakehid::pendingInput(), std::size_t(0));
        QCOMPARE(fakehid::liveEnumerations(), 0);
        fakehid::clearOutputs();
    }

    QCOMPARE(fakehid::opens(), cycles);
    QCOMPARE(fakehid::closes(), cycles);
    QCOMPARE(fakehid::exits(), cycles);
    QCOMPARE(fakehid::inits(), cycles);
    driver.destroy();
    QCOMPARE(fakehid::exits(), cycles + 1);
    qInfo("%d cycles, %ld reports, %ld hidapi calls; resident memory %ld kB before, %ld kB after", cycles,
          long(cycles) * reportsPerCycle, fakehid::deviceCalls(), startKb, residentKb());
}

QTEST_GUILESS_MAIN(TestConsoleSoak)
#include "tst_consolesoak.moc"
