// The default destination is the limited broadcast. This test only runs inside a private network namespace
// with a veth pair, so the broadcast never leaves this machine.
#include "parlinkprocess.h"
#include "statuslistener.h"

#include <QtTest>

class TestBroadcast : public QObject
{
    Q_OBJECT

private slots:
    void broadcasts_data();
    void broadcasts();
};

void TestBroadcast::broadcasts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("payload");
    QTest::addRow("no option") << QStringList{"incoming"} << QByteArray("-s incoming");
    QTest::addRow("s") << QStringList{"-s", "connected"} << QByteArray("-s connected");
    QTest::addRow("s beats u") << QStringList{"-s", "-u", "127.0.0.1", "connected"} << QByteArray("-s connected");
}

void TestBroadcast::broadcasts()
{
    if (qEnvironmentVariableIntValue("PARLINK_NO_NETNS"))
        QSKIP("no private network namespace can be made here, and a broadcast must not leave this machine");
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, payload);

    StatusListener listener;
    QVERIFY2(listener.listen(QHostAddress::AnyIPv4), qPrintable(listener.errorString()));
    QTemporaryDir home;
    const CommandResult result = runParlink(arguments, isolatedEnvironment(home));
    QCOMPARE(result.exitCode, 0);
    const QList<QNetworkDatagram> received = listener.receive();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().data(), payload);
    QCOMPARE(received.first().destinationAddress(), QHostAddress(QHostAddress::Broadcast));
}

QTEST_GUILESS_MAIN(TestBroadcast)
#include "tst_broadcast.moc"
