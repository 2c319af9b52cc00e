// The desktop ends the real parlink in the middle of a call: the settings are stored, the connect LED is put
// out with one last report while the incoming LED stays as the blink left it, and the exit status is 0.
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
    ObservedParlink::sendStatus(status);
    // The two reports of "-s connected", or a few blink ticks.
    const int reports = status == "-s connected" ? 2 : 3;
    QVERIFY(parlink.waitUntil([&] { return parlink.outputCount() >= reports; }));

    ::kill(pid_t(parlink.resident().process().processId()), signalNumber);
    QProcess& process = parlink.resident().process();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    const QList<int> leds = parlink.ledsFrom(0);
    QVERIFY(leds.size() >= 2);
    const int beforeQuit = leds.at(leds.size() - 2);
    QCOMPARE(leds.constLast(), beforeQuit & ~0x04);
    if (status == "-s connected")
        QCOMPARE(beforeQuit, 0x04);
    const QStringList events = parlink.resident().events();
    QCOMPARE(events.mid(events.size() - 2), (QStringList{"close", "exit"}));

    QSettings settings(parlink.resident().settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.allKeys().size(), 10);
    QCOMPARE(settings.value(QStringLiteral("connect_led_internal")).toBool(), false);
    QCOMPARE(settings.value(QStringLiteral("hangup_key2")).toInt(), 17);
}

QTEST_GUILESS_MAIN(TestQuitMidCall)
#include "tst_quitmidcall.moc"
