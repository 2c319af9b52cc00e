// Finding, opening, losing and reopening the console, and telling the user once when it cannot be opened.
#include "consolelinkdriver.h"
#include "fakehid.h"
#include "messagecapture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>

class TestConsoleLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void constructionTouchesNoDevice();
    void timersOpenPollAndReopen();
    void openWhileOpenDoesNothing();
    void absentConsoleStaysClosed();
    void lostConsole_data();
    void lostConsole();
    void reportsArrivingTogether();
    void otherSignalsKeepTheConsole();
    void endWhileReadWaits_data();
    void endWhileReadWaits();
    void switchLevelSurvivesReconnection_data();
    void switchLevelSurvivesReconnection();
    void refusedConsoleWarning_data();
    void refusedConsoleWarning();
};

void TestConsoleLink::init()
{
    fakehid::reset();
}

void TestConsoleLink::constructionTouchesNoDevice()
{
    fakehid::plug();
    ConsoleLinkDriver driver;
    QCOMPARE(fakehid::deviceCalls(), 0);
    QVERIFY(!driver.link().isConnected());
    QVERIFY(driver.connectTimer());
    QVERIFY(driver.connectTimer()->isActive());
    QVERIFY(!driver.connectTimer()->isSingleShot());
    QVERIFY(!driver.reading());
}

// The only test that waits for the link's own timers.
void TestConsoleLink::timersOpenPollAndReopen()
{
    fakehid::plug();
    QElapsedTimer sinceConstruction;
    sinceConstruction.start();
    ConsoleLinkDriver driver;
    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);

    QTRY_VERIFY_WITH_TIMEOUT(driver.link().isConnected(), 15000);
    // A lower bound only, so a slow machine cannot break it; 5 % is a coarse timer's allowed earliness.
    QVERIFY2(sinceConstruction.elapsed() >= 1900, "opened before the first 2 s tick");
    QCOMPARE(fakehid::openAttempts(), 1);
    QVERIFY(driver.reading());

    fakehid::queueSwitch(false);
    QTRY_COMPARE(clicked.count(), 1);

    fakehid::unplug();
    QTRY_VERIFY(!driver.link().isConnected());
    QVERIFY(!driver.reading());
    QCOMPARE(fakehid::closes(), 1);
    QCOMPARE(fakehid::exits(), 1);

    fakehid::plug();
    QTRY_VERIFY_WITH_TIMEOUT(driver.link().isConnected(), 15000);
    QCOMPARE(fakehid::opens(), 2);
    // Nothing is looked for while the console is open.
    QVERIFY(!driver.connectTimer()->isActive());
}

void TestConsoleLink::openWhileOpenDoesNothing()
{
    ConsoleLinkDriver driver;
    QVERIFY(driver.open());
    const long calls = fakehid::deviceCalls();
    for (int tick = 0; tick < 5; ++tick)
        driver.connectTick();
    QCOMPARE(fakehid::deviceCalls(), calls);
    QCOMPARE(fakehid::opens(), 1);
}

void TestConsoleLink::absentConsoleStaysClosed()
{
    MessageCapture messages;
    ConsoleLinkDriver driver;
    for (int tick = 0; tick < 5; ++tick)
        driver.connectTick();
    QVERIFY(!driver.link().isConnected());
    QVERIFY(!driver.reading());
    QCOMPARE(fakehid::openAttempts(), 5);
    QCOMPARE(fakehid::liveEnumerations(), 0);
    QVERIFY(messages.warnings().isEmpty());
}

void TestConsoleLink::lostConsole_data()
{
    QTest::addColumn<bool>("pulled");

    QTest::addRow("console pulled out") << true;
    QTest::addRow("read error on a present console") << false;
}

void TestConsoleLink::lostConsole()
{
    QFETCH(bool, pulled);

    ConsoleLinkDriver driver;
    QVERIFY(driver.open());
    // The loss comes while the link waits for a report, as it does nearly all the time.
    QTRY_VERIFY(fakehid::readerWaiting());
    if (pulled)
        fakehid::unplug();
    else
        fakehid::failNextRead(-1);
    driver.poll();

    QVERIFY(!driver.link().isConnected());
    QVERIFY(!driver.reading());
    QVERIFY(driver.connectTimer()->isActive());
    QCOMPARE(fakehid::closes(), 1);
    QCOMPARE(fakehid::exits(), 1);
    // Nothing goes to a closed console.
    driver.link().setConnectLed(true);
    QVERIFY(fakehid::outputs().empty());

    if (pulled) {
        driver.connectTick();
        QVERIFY(!driver.link().isConnected());
        fakehid::plug();
    }
    driver.connectTick();
    QVERIFY(driver.link().isConnected());
    QVERIFY(driver.reading());
    QCOMPARE(fakehid::opens(), 2);
    // Reopening sends nothing; the next LED operation does, with the image kept over the loss.
    QVERIFY(fakehid::outputs().empty());
    driver.link().setIncomingLed(true);
    QCOMPARE(outputReports(), reports({"00 00 07 07 00"}));
}

// Reports that arrive together are each taken in, in the order sent: a press and its release within one moment
// are two operations on model 2, and the last level is the one remembered.
void TestConsoleLink::reportsArrivingTogether()
{
    ConsoleLinkDriver driver(2);
    QVERIFY(driver.open());
    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);
    for (const unsigned char level : {0x00, 0x01, 0x00, 0x01, 0x00})
        fakehid::queueInput({0x00, level, 0x00, 0x00});
    driver.poll();
    QCOMPARE(clicked.count(), 5);
    QCOMPARE(fakehid::pendingInput(), std::size_t(0));
    // Level 0 last: a report of level 1 now is one more change.
    driver.receive(0x01);
    QCOMPARE(clicked.count(), 6);
}

// A signal meant for the program, such as the end of a softphone command it started, must not end the link's
// wait as an unplug does.
void TestConsoleLink::otherSignalsKeepTheConsole()
{
    struct sigaction handled = {};
    handled.sa_handler = [](int) {};
    sigemptyset(&handled.sa_mask);
    struct sigaction before = {};
    QCOMPARE(sigaction(SIGUSR1, &handled, &before), 0);

    ConsoleLinkDriver driver;
    QVERIFY(driver.open());
    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);
    QTRY_VERIFY(fakehid::readerWaiting());
    QDir tasks(QStringLiteral("/proc/self/task"));
    QString reader;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "ConsoleWorker")
            reader = task;
    }
    QVERIFY(!reader.isEmpty());
    // Inside its wait for the console (poll), where a signal would cut it short; not on a lock, where it would not.
    const auto asleep = [&] {
        QFile call(tasks.filePath(reader + QStringLiteral("/syscall")));
        const QByteArray number = call.open(QIODevice::ReadOnly) ? call.readAll().split(' ').value(0) : QByteArray();
        return number == QByteArray::number(SYS_poll) || number == QByteArray::number(SYS_ppoll);
    };
    // Twice, some time apart: a first wait may return at once for a wake-up left from before the reader began.
    QTRY_VERIFY(asleep());
    QTest::qWait(20);
    QTRY_VERIFY(asleep());
    const int signalled = int(::syscall(SYS_tgkill, ::getpid(), reader.toInt(), SIGUSR1) == 0);
    QCOMPARE(signalled, 1);
    // What the signal would do is done well before a report comes.
    QTest::qWait(50);
    driver.receive(0x00);
    QVERIFY(driver.link().isConnected());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(fakehid::closes(), 0);
    sigaction(SIGUSR1, &before, nullptr);
}

void TestConsoleLink::endWhileReadWaits_data()
{
    QTest::addColumn<bool>("lit");

    QTest::addRow("idle") << false;
    QTest::addRow("in a call") << true;
}

// The link ends while its read waits for a report that never comes: the wait is cut short, the LEDs go out and the
// device is closed only once no read is left on it (the simulated console aborts the test otherwise).
void TestConsoleLink::endWhileReadWaits()
{
    QFETCH(bool, lit);

    ConsoleLinkDriver driver;
    QVERIFY(driver.open());
    driver.link().setConnectLed(lit);
    QTRY_VERIFY(fakehid::readerWaiting());
    QElapsedTimer ending;
    ending.start();
    driver.destroy();
    QVERIFY2(ending.elapsed() < 1000, qPrintable(QString::number(ending.elapsed())));
    QCOMPARE(fakehid::readsInFlight(), 0);
    QCOMPARE(fakehid::closes(), 1);
    QCOMPARE(fakehid::exits(), 1);
    QCOMPARE(outputReports().constLast(), report("00 00 01 07 00"));
}

void TestConsoleLink::switchLevelSurvivesReconnection_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("lastBefore");
    QTest::addColumn<int>("firstAfter");
    QTest::addColumn<bool>("clicks");

    QTest::addRow("held down over the loss") << 0 << 0x00 << 0x00 << false;
    QTest::addRow("released while away") << 0 << 0x00 << 0x01 << false;
    QTest::addRow("released while away, model 2") << 2 << 0x00 << 0x01 << true;
    QTest::addRow("pressed while away") << 0 << 0x01 << 0x00 << true;
    QTest::addRow("up over the loss") << 2 << 0x01 << 0x01 << false;
}

void TestConsoleLink::switchLevelSurvivesReconnection()
{
    QFETCH(int, model);
    QFETCH(int, lastBefore);
    QFETCH(int, firstAfter);
    QFETCH(bool, clicks);

    ConsoleLinkDriver driver(model);
    QVERIFY(driver.open());
    driver.receive(lastBefore);
    fakehid::unplug();
    driver.poll();
    QVERIFY(!driver.link().isConnected());
    QVERIFY(driver.open());

    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);
    driver.receive(firstAfter);
    QCOMPARE(clicked.count(), clicks ? 1 : 0);
}

void TestConsoleLink::refusedConsoleWarning_data()
{
    QTest::addColumn<QString>("steps");
    // Warnings counted after each step.
    QTest::addColumn<QList<int>>("warnings");

    // A refusal counts at the second try running: just after a plug-in, udev may not have granted access yet.
    QTest::addRow("once, not on later ticks") << "refuse, tick, tick, tick" << QList<int>{0, 0, 1, 1};
    QTest::addRow("not while access is being granted") << "refuse, tick, allow, tick" << QList<int>{0, 0, 0, 0};
    QTest::addRow("again after it was gone")
        << "refuse, tick, tick, unplug, tick, plug, tick, tick" << QList<int>{0, 0, 1, 1, 1, 1, 1, 2};
    QTest::addRow("again after it could be opened")
        << "refuse, tick, tick, allow, tick, lose, refuse, tick, tick" << QList<int>{0, 0, 1, 1, 1, 1, 1, 1, 2};
    QTest::addRow("none while absent") << "unplug, tick, tick" << QList<int>{0, 0, 0};
    QTest::addRow("none when it opens") << "tick, lose, tick" << QList<int>{0, 0, 0};
}

void TestConsoleLink::refusedConsoleWarning()
{
    QFETCH(QString, steps);
    QFETCH(QList<int>, warnings);

    MessageCapture messages;
    ConsoleLinkDriver driver;
    fakehid::plug();
    QList<int> seen;
    for (const QString& step : steps.split(QStringLiteral(", "))) {
        if (step == QLatin1String("refuse"))
            fakehid::refuseOpen(true);
        else if (step == QLatin1String("allow"))
            fakehid::refuseOpen(false);
        else if (step == QLatin1String("plug"))
            fakehid::plug();
        else if (step == QLatin1String("unplug"))
            fakehid::unplug();
        else if (step == QLatin1String("tick"))
            driver.connectTick();
        else if (step == QLatin1String("lose")) {
            fakehid::failNextRead(-1);
            driver.poll();
        } else
            QFAIL(qPrintable(step));
        seen.append(messages.warnings().size());
    }
    QCOMPARE(seen, warnings);
    QCOMPARE(fakehid::liveEnumerations(), 0);
    for (const QString& warning : messages.warnings())
        QVERIFY2(warning.contains(QLatin1String("cannot be opened")), qPrintable(warning));
}

QTEST_GUILESS_MAIN(TestConsoleLink)
#include "tst_consolelink.moc"
