// The real parlink with the simulated console preloaded in place of hidapi: it finds the console, follows the
// switch, lets go when it is pulled out, takes it back when it returns, and leaves the connect LED off on SIGTERM.
#include "residentparlink.h"

#include <QDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int startAndOpenMs = 15000;
constexpr int reopenMs = 10000;

// Context switches of every thread of a process: each is the process waking up, or being made to wait.
qint64 contextSwitches(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    qint64 switches = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks + QLatin1Char('/') + task + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return switches;
}

} // namespace

class TestConsoleEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void plugUnplugReplug();
    void waitingConsoleCostsNoWakeups();
    void strayStopSignalIsHarmless();
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

// A Parlink with its console open and nothing happening sleeps: no look for a console while one is open, and a read
// that waits until something happens.
void TestConsoleEndToEnd::waitingConsoleCostsNoWakeups()
{
    ResidentParlink parlink;
    QVERIFY(parlink.startWithConsole());
    QTest::qWait(1000);
    const qint64 pid = parlink.process().processId();
    const qint64 before = contextSwitches(pid);
    QTest::qWait(4000);
    const qint64 wakeups = contextSwitches(pid) - before;
    qInfo("%lld wake-ups in 4 s", wakeups);
    // Two for whatever the desktop's libraries do now and then; a look and a read's timeout every 2 s are four.
    QVERIFY2(wakeups <= 2, qPrintable(QString::number(wakeups)));
    QVERIFY(parlink.terminate());
}

// The signal that cuts a read short, sent from outside before any console was opened, neither ends Parlink nor
// keeps it from opening one.
void TestConsoleEndToEnd::strayStopSignalIsHarmless()
{
    ResidentParlink parlink;
    // Refused, the console is looked at but not opened: the link is up and has no reader yet.
    QCOMPARE(parlink.console({QStringLiteral("refuse")}), 0);
    QVERIFY(parlink.start());
    QTRY_VERIFY_WITH_TIMEOUT(parlink.events().contains(QStringLiteral("init")), startAndOpenMs);
    ::kill(pid_t(parlink.process().processId()), SIGUSR2);
    QCOMPARE(parlink.console({QStringLiteral("plug")}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(parlink.events().contains(QStringLiteral("open")), reopenMs);
    QVERIFY(parlink.terminate());
}

QTEST_GUILESS_MAIN(TestConsoleEndToEnd)
#include "tst_consolee2e.moc"
