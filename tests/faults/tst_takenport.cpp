// Another program holds the status port: the real parlink says so once and goes on with everything that does
// not need it, the console link and the switch, and still ends cleanly on SIGTERM.
#include "observedparlink.h"

#include <QSettings>
#include <QUdpSocket>
#include <QtTest>

class TestTakenPort : public QObject
{
    Q_OBJECT

private slots:
    void startsWithoutThePort_data();
    void startsWithoutThePort();
};

void TestTakenPort::startsWithoutThePort_data()
{
    QTest::addColumn<QString>("takenOn");

    QTest::addRow("IPv4, every address") << "0.0.0.0";
    QTest::addRow("IPv4, loopback only") << "127.0.0.1";
    QTest::addRow("IPv6, every address") << "::";
}

void TestTakenPort::startsWithoutThePort()
{
    QFETCH(QString, takenOn);

    QUdpSocket other;
    QVERIFY2(other.bind(QHostAddress(takenOn), 6123, QUdpSocket::DontShareAddress), qPrintable(other.errorString()));

    ObservedParlink parlink;
    QVERIFY(parlink.startWithConsole());
    const QStringList portWarnings = parlink.errorLinesContaining(QStringLiteral("6123"));
    QCOMPARE(portWarnings.size(), 1);
    QVERIFY2(portWarnings.first().startsWith(QLatin1String("Parlink: cannot listen for call states on UDP port 6123")),
             qPrintable(portWarnings.first()));

    // Internal mode, as on a fresh installation: the switch lights the connect LED and puts it out again.
    const int before = parlink.outputCount();
    QVERIFY(parlink.pressAndRelease());
    QVERIFY(parlink.pressAndRelease());
    QCOMPARE(parlink.ledsFrom(before), (QList<int>{0x04, 0x00}));

    QVERIFY(parlink.resident().terminate());
    QCOMPARE(parlink.errorLinesContaining(QStringLiteral("6123")).size(), 1);
    QCOMPARE(QSettings(parlink.resident().settingsFile(), QSettings::IniFormat).allKeys().size(), 10);
    QCOMPARE(parlink.resident().events().mid(parlink.resident().events().size() - 2), (QStringList{"close", "exit"}));
}

QTEST_GUILESS_MAIN(TestTakenPort)
#include "tst_takenport.moc"
