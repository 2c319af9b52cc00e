// The real parlink with the simulated console preloaded in place of hidapi: it finds the console, follows the
// switch, lets go when it is pulled out, takes it back when it returns, and leaves the connect LED off on SIGTERM.
#include "residentparlink.h"

#include <QtTest>

namespace {

constexpr int startAndOpenMs = 15000;
constexpr int reopenMs = 10000;

} // namespace

class TestConsoleEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void plugUnplugReplug();
};

void TestConsoleEndToEnd::plugUnplugReplug()
{
    ResidentParlink parlink;
    QCOMPARE(parlink.console({QStringLiteral("plug")}), 0);
    QVERIFY(parlink.start());

    QTRY_COMPARE_WITH_TIMEOUT(parlink.events(), (QStringList{"init", "open"}), startAndOpenMs);
    // The opening shows the idle call: incoming LED off, connect LED off.
    QTRY_COMPARE(parlink.outputs(),
                 (QList<QByteArray>{QByteArray::fromHex("0000010700"), QByteArray::fromHex("0000010700")}));

    // A fresh installation is in internal mode: a press lights the connect LED.
    QCOMPARE(parlink.console({QStringLiteral("press")}), 0);
    QTRY_COMPARE(parlink.outputs().size(), 3);
    QCOMPARE(parlink.outputs().constLast(), QByteArray::fromHex("0000050700"));
    QCOMPARE(parlink.console({QStringLiteral("release")}), 0);
    QTRY_COMPARE(parlink.events(), (QStringList{"init", "open", "input", "input"}));

    QCOMPARE(parlink.console({QStringLiteral("unplug")}), 0);
    QTRY_COMPARE(parlink.events(), (QStringList{"init", "open", "input", "input", "close", "exit"}));

    QCOMPARE(parlink.console({QStringLiteral("plug")}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(parlink.events().mid(6), (QStringList{"init", "open"}), reopenMs);
    QCOMPARE(parlink.console({QStringLiteral("wait-open"), QStringLiteral("1")}), 0);
    // Back during the call: the connect LED is lit again at once.
    QTRY_COMPARE(parlink.outputs().size(), 5);
    QCOMPARE(parlink.outputs().constLast(), QByteArray::fromHex("0000050700"));

    QVERIFY(parlink.terminate());
    QCOMPARE(parlink.events().mid(8), (QStringList{"close", "exit"}));
    // The way out: the incoming LED, then the connect LED put out.
    QCOMPARE(parlink.outputs().mid(5),
             (QList<QByteArray>{QByteArray::fromHex("0000050700"), QByteArray::fromHex("0000010700")}));
}

QTEST_GUILESS_MAIN(TestConsoleEndToEnd)
#include "tst_consolee2e.moc"
