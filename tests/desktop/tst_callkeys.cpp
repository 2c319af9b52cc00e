// A whole call as the softphone and the user make it, with the real program on a private X server over the
// preloaded simulated console: the softphone's hooks report the call, the console's LEDs follow, and the
// console's switch types the softphone's hot-key, as an X Input 2 listener on the same display sees it.
#include "parlinkprocess.h"
#include "residentparlink.h"
#include "xrawkeys.h"
#include "xvfbserver.h"

#include <QSettings>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

constexpr int waitMs = 15000;
constexpr qint64 nsPerMs = 1000000;
// Byte 2 of an output report: the incoming LED is bit 1, the connect LED bit 2.
constexpr char incomingLed = 0x02;
constexpr char connectLed = 0x04;
constexpr int blinkReportsToWatch = 6;

bool incomingLit(const QByteArray& report)
{
    return (report.at(2) & incomingLed) != 0;
}

bool connectLit(const QByteArray& report)
{
    return (report.at(2) & connectLed) != 0;
}

} // namespace

class TestCallKeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void incomingConnectedThenTheSwitchHangsUp();

private:
    void report(ResidentParlink& parlink, const char* word);

    XvfbServer server;
};

void TestCallKeys::initTestCase()
{
    if (XvfbServer::executable().isEmpty())
        QSKIP("Xvfb is not installed (Debian package xvfb): no X server to type on");
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

// The softphone's hook: a command-mode run that reports the call state to this machine.
void TestCallKeys::report(ResidentParlink& parlink, const char* word)
{
    const CommandResult result =
        runParlink({QStringLiteral("-l"), QString::fromLatin1(word)}, parlink.process().processEnvironment());
    QVERIFY2(!result.crashed, word);
    QCOMPARE(result.exitCode, 0);
}

void TestCallKeys::incomingConnectedThenTheSwitchHangsUp()
{
    ResidentParlink parlink;
    // Remote mode, everything else as on a first run; the default hang-up keys are L_Ctrl + KEY_E.
    parlink.storeRemoteMode(true);
    parlink.useDisplay(server.display());
    XRawKeyListener keys(server.display().constData());
    QVERIFY2(keys.isValid(), keys.errorString().c_str());
    QVERIFY(parlink.startWithConsole());
    // Started again, as autostart and the menu may both do: the second hands over and leaves, so the console has
    // one reader and every press types one combination.
    const CommandResult second = runParlink({}, parlink.process().processEnvironment());
    QVERIFY(!second.crashed);
    QCOMPARE(second.exitCode, 0);

    // Incoming: the incoming LED blinks, a report every 200 ms or so, the connect LED stays dark.
    const int before = parlink.outputs().size();
    report(parlink, "incoming");
    QTRY_VERIFY_WITH_TIMEOUT(parlink.outputs().size() >= before + blinkReportsToWatch, waitMs);
    const QList<TimedReport> blink = parlink.timedOutputs().mid(before, blinkReportsToWatch);
    for (int i = 0; i < blink.size(); ++i) {
        QVERIFY(!connectLit(blink.at(i).bytes));
        if (i > 0)
            QVERIFY2(incomingLit(blink.at(i).bytes) != incomingLit(blink.at(i - 1).bytes), "the LED does not blink");
    }
    // A busy machine only makes ticks late; a coarse timer may fire a little early, never much.
    const qint64 averageMs =
        (blink.constLast().monotonicNs - blink.constFirst().monotonicNs) / (blink.size() - 1) / nsPerMs;
    qInfo("blink: %lld ms between reports on average", averageMs);
    QVERIFY2(averageMs >= 150, qPrintable(QStringLiteral("%1 ms").arg(averageMs)));

    // Connected: the blink stops with the incoming LED off, and the connect LED lights.
    report(parlink, "connected");
    QTRY_VERIFY_WITH_TIMEOUT(connectLit(parlink.outputs().constLast()), waitMs);
    QVERIFY(!incomingLit(parlink.outputs().constLast()));
    const int afterConnected = parlink.outputs().size();
    QTest::qWait(600);
    QCOMPARE(parlink.outputs().size(), afterConnected);

    // The user presses the switch to end the call: the softphone's hang-up key combination is typed.
    keys.sync();
    keys.clear();
    QCOMPARE(parlink.console({QStringLiteral("press")}), 0);
    QVERIFY2(keys.waitFor(4, waitMs), "the hang-up keys did not arrive");
    QCOMPARE(parlink.console({QStringLiteral("release")}), 0);
    const int control = XKeysymToKeycode(keys.connection(), XK_Control_L);
    const int letterE = XKeysymToKeycode(keys.connection(), XK_e);
    QVERIFY(control != 0 && letterE != 0);
    QList<QPair<int, bool>> seen;
    for (const RawKeyEvent& event : keys.sync())
        seen.append({event.keycode, event.pressed});
    const QList<QPair<int, bool>> expected{{control, true}, {letterE, true}, {control, false}, {letterE, false}};
    QCOMPARE(seen, expected);
    QVERIFY(!keys.anyKeyDown());

    // The softphone's own command line instead of its hot-key, set by hand while Parlink runs: the next press that
    // answers runs it once, and no key is typed.
    const QString log = parlink.home().filePath(QStringLiteral("answered"));
    const auto runs = [&log] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    {
        QSettings stored(parlink.settingsFile(), QSettings::IniFormat);
        stored.setValue(QStringLiteral("answer_command"), QStringLiteral("sh -c \"echo answered >> '%1'\"").arg(log));
    }
    report(parlink, "incoming");
    keys.sync();
    keys.clear();
    QCOMPARE(parlink.console({QStringLiteral("press")}), 0);
    QCOMPARE(parlink.console({QStringLiteral("release")}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(runs(), QByteArray("answered\n"), waitMs);
    QTest::qWait(500);
    QCOMPARE(runs(), QByteArray("answered\n"));
    QCOMPARE(keys.sync().size(), size_t(0));

    QVERIFY(parlink.terminate());
    // Parlink stores its ten choices and leaves the hand-made one alone.
    QSettings stored(parlink.settingsFile(), QSettings::IniFormat);
    QVERIFY(stored.value(QStringLiteral("answer_command")).toString().contains(log));
}

QTEST_GUILESS_MAIN(TestCallKeys)
#include "tst_callkeys.moc"
