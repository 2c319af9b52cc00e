// The desktop ends the real parlink in the middle of a call: the settings are stored, both LEDs are put out,
// also an incoming LED lit by the blink, and the exit status is 0.
#include "observedparlink.h"

#include <QSettings>
#include <QtTest>

#include <csignal>

class TestQuitMidCall : public QObject
{
    Q_OBJECT

private slots:
    void endsCleanly_data();
    void endsCleanly();
    void quitDuringABurstOfPresses();
};

void TestQuitMidCall::endsCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QByteArray>("status");

    QTest::addRow("SIGTERM while the incoming LED blinks") << int(SIGTERM) << QByteArray("-s incoming");
    QTest::addRow("SIGINT while the incoming LED blinks") << int(SIGINT) << QByteArray("-s incoming");
    QTest::addRow("SIGTERM while connected") << int(SIGTERM) << QByteArray("-s connected");
}

void TestQuitMidCall::endsCleanly()
{
    QFETCH(int, signalNumber);
    QFETCH(QByteArray, status);

    ObservedParlink parlink;
    parlink.resident().storeRemoteMode(true);
    {
        QSettings stored(parlink.resident().settingsFile(), QSettings::IniFormat);
        stored.setValue(QStringLiteral("hangup_key2"), 17);
    }
    QVERIFY(parlink.startWithConsole());
    const int opened = parlink.outputCount();
    ObservedParlink::sendStatus(status);
    // The two reports of "-s connected", or blink ticks up to one that lights the incoming LED.
    const auto lit = [&] {
        const QList<int> leds = parlink.ledsFrom(opened);
        return status == "-s connected" ? leds.size() >= 2 : !leds.isEmpty() && leds.constLast() == 0x02;
    };
    QVERIFY(parlink.waitUntil(lit));

    ::kill(pid_t(parlink.resident().process().processId()), signalNumber);
    QProcess& process = parlink.resident().process();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    const QList<int> leds = parlink.ledsFrom(opened);
    QVERIFY(leds.size() >= 2);
    QCOMPARE(leds.constLast(), 0x00);
    if (status == "-s connected")
        QCOMPARE(leds.at(1), 0x04);
    const QStringList events = parlink.resident().events();
    QCOMPARE(events.mid(events.size() - 2), (QStringList{"close", "exit"}));

    QSettings settings(parlink.resident().settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.allKeys().size(), 10);
    QCOMPARE(settings.value(QStringLiteral("connect_led_internal")).toBool(), false);
    QCOMPARE(settings.value(QStringLiteral("hangup_key2")).toInt(), 17);
}

// A console that sends press after press, each running a softphone command, does not keep the desktop's request
// to end waiting until every press is dealt with.
void TestQuitMidCall::quitDuringABurstOfPresses()
{
    constexpr int presses = 200;
    ObservedParlink parlink;
    {
        QSettings stored(parlink.resident().settingsFile(), QSettings::IniFormat);
        stored.setValue(QStringLiteral("answer_command"), QStringLiteral("/bin/true"));
        stored.setValue(QStringLiteral("hangup_command"), QStringLiteral("/bin/true"));
    }
    QVERIFY(parlink.startWithConsole());
    const int opened = parlink.outputCount();
    QStringList burst;
    for (int press = 0; press < presses; ++press)
        burst << QStringLiteral("00 00 00 00") << QStringLiteral("00 01 00 00");
    QVERIFY(parlink.resident().sendReports(burst));
    QVERIFY(parlink.waitUntil([&] { return parlink.outputCount() > opened; }));

    ::kill(pid_t(parlink.resident().process().processId()), SIGTERM);
    QProcess& process = parlink.resident().process();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    // Each press toggles the connect LED; the way out puts both LEDs out.
    const int handled = parlink.outputCount() - opened - 2;
    QVERIFY2(handled < presses, qPrintable(QStringLiteral("all %1 presses were handled first").arg(handled)));
    QCOMPARE(parlink.ledsFrom(opened).constLast(), 0x00);
}

QTEST_GUILESS_MAIN(TestQuitMidCall)
#include "tst_quitmidcall.moc"
