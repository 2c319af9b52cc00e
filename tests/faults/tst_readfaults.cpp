// A console that fails its first read after every opening, many times over: the window lets go of it each
// time, shuts the HID library down with it, keeps its call state and blink, and works once reads succeed.
#include "fakehid.h"
#include "testmain.h"
#include "windowprobe.h"

#include <QTimer>

namespace {

constexpr int failingOpenings = 100;

} // namespace

class TestReadFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyOpeningFailsItsFirstRead_data();
    void everyOpeningFailsItsFirstRead();
};

void TestReadFaults::init()
{
    fakehid::reset();
    QSettings().clear();
}

void TestReadFaults::everyOpeningFailsItsFirstRead_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("next");
    // Byte 2 of the reports the next event writes once the console reads again.
    QTest::addColumn<QList<int>>("written");

    QTest::addRow("internal, idle") << QByteArray() << QByteArray("press") << QList<int>{0x05};
    QTest::addRow("remote, incoming") << QByteArray("-s incoming") << QByteArray("-s connected")
                                      << QList<int>{0x01, 0x05};
    QTest::addRow("remote, connected") << QByteArray("-s connected") << QByteArray("-s disconnected")
                                       << QList<int>{0x05, 0x01};
}

void TestReadFaults::everyOpeningFailsItsFirstRead()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, next);
    QFETCH(QList<int>, written);

    WindowProbe probe;
    auto* blinkTimer = probe.window().findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(blinkTimer);
    if (!status.isEmpty()) {
        probe.setRemoteMode(true);
        probe.sendStatus(status);
    }
    const bool blinking = blinkTimer->isActive();
    probe.takeLedBytes();

    for (int opening = 0; opening < failingOpenings; ++opening) {
        probe.openConsole();
        QVERIFY(probe.link().isConnected());
        fakehid::failNextRead(-1);
        probe.poll();
        QVERIFY(!probe.link().isConnected());
        // A blink tick with the console away writes nothing.
        QMetaObject::invokeMethod(&probe.window(), "timeout");
    }
    QCOMPARE(fakehid::opens(), failingOpenings);
    QCOMPARE(fakehid::closes(), failingOpenings);
    QCOMPARE(fakehid::exits(), failingOpenings);
    QCOMPARE(fakehid::liveEnumerations(), 0);
    QCOMPARE(blinkTimer->isActive(), blinking);
    // Each opening showed the call (two reports); no tick wrote while the console was away.
    QCOMPARE(probe.takeLedBytes().size(), 2 * failingOpenings);

    probe.openConsole();
    probe.poll();
    QVERIFY(probe.link().isConnected());
    probe.takeLedBytes();
    if (next == "press")
        probe.pressSwitch();
    else
        probe.sendStatus(next);
    const QList<int> bytes = probe.takeLedBytes();
    // While the blink runs, its ticks may write before the datagram is read.
    QCOMPARE(blinking ? bytes.mid(bytes.size() - written.size()) : bytes, written);
}

PARLINK_TEST_MAIN(TestReadFaults)
#include "tst_readfaults.moc"
