// The console switch, through the simulated console, sends the chosen key combinations.
#include "fakehid.h"
#include "messagecapture.h"
#include "recordingkeysender.h"
#include "testmain.h"
#include "windowprobe.h"

#include <QComboBox>

namespace {

using Keys = std::vector<RecordedKey>;

constexpr std::uint8_t ctrl = 0xA2;
constexpr std::uint8_t shift = 0xA0;
constexpr std::uint8_t keyP = 0x50;
constexpr std::uint8_t keyE = 0x45;

Keys pressedThenReleased(std::initializer_list<std::uint8_t> codes)
{
    Keys keys;
    for (std::uint8_t code : codes)
        keys.push_back({code, false});
    for (std::uint8_t code : codes)
        keys.push_back({code, true});
    return keys;
}

const Keys answerKeys = pressedThenReleased({ctrl, shift, keyP});
const Keys hangupKeys = pressedThenReleased({ctrl, keyE});

} // namespace

Q_DECLARE_METATYPE(Keys)

class TestSwitch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void internalMode_data();
    void internalMode();
    void remoteMode_data();
    void remoteMode();
    void combinations_data();
    void combinations();
    void keystrokeSlotTakesQueuedCalls();
    void nothingWithoutAConsole();
    void realSwitchEdgesReachTheWindow();

private:
    void setCombination(WindowProbe& probe, const char* prefix, std::initializer_list<int> indices);
};

void TestSwitch::init()
{
    fakehid::reset();
    recordingkeysender::clear();
}

void TestSwitch::setCombination(WindowProbe& probe, const char* prefix, std::initializer_list<int> indices)
{
    int position = 1;
    for (int index : indices) {
        const QByteArray name = QByteArray(prefix) + QByteArray::number(position++);
        probe.selector(name.constData())->setCurrentIndex(index);
    }
}

void TestSwitch::internalMode_data()
{
    QTest::addColumn<bool>("answerEnabled");
    QTest::addColumn<bool>("hangupEnabled");
    QTest::addColumn<Keys>("firstKeys");
    QTest::addColumn<QList<int>>("firstLeds");
    QTest::addColumn<Keys>("secondKeys");
    QTest::addColumn<QList<int>>("secondLeds");

    QTest::addRow("both enabled") << true << true << answerKeys << QList<int>{0x05} << hangupKeys << QList<int>{0x01};
    QTest::addRow("answer clear") << false << true << Keys{} << QList<int>{} << hangupKeys << QList<int>{0x01};
    QTest::addRow("hang-up clear") << true << false << answerKeys << QList<int>{0x05} << Keys{} << QList<int>{};
    QTest::addRow("both clear") << false << false << Keys{} << QList<int>{} << Keys{} << QList<int>{};
}

void TestSwitch::internalMode()
{
    QFETCH(bool, answerEnabled);
    QFETCH(bool, hangupEnabled);
    QFETCH(Keys, firstKeys);
    QFETCH(QList<int>, firstLeds);
    QFETCH(Keys, secondKeys);
    QFETCH(QList<int>, secondLeds);

    WindowProbe probe;
    probe.openConsole();
    probe.button("chk_connect")->setChecked(answerEnabled);
    probe.button("chk_hangup")->setChecked(hangupEnabled);
    probe.takeLedBytes();

    MessageCapture capture;
    for (int round = 0; round < 2; ++round) {
        probe.pressSwitch();
        QCOMPARE(recordingkeysender::events(), firstKeys);
        QCOMPARE(probe.takeLedBytes(), firstLeds);
        recordingkeysender::clear();

        probe.pressSwitch();
        QCOMPARE(recordingkeysender::events(), secondKeys);
        QCOMPARE(probe.takeLedBytes(), secondLeds);
        recordingkeysender::clear();
    }
    QCOMPARE(capture.debugMessages(), QStringList{});
}

void TestSwitch::remoteMode_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("debug");
    QTest::addColumn<Keys>("keys");

    const QStringList answer{QStringLiteral("answer noww... ")};
    const QStringList hangup{QStringLiteral("hangup now... ")};
    QTest::addRow("idle") << QByteArray() << true << QStringList{} << Keys{};
    QTest::addRow("incoming") << QByteArray("-s incoming") << true << answer << answerKeys;
    QTest::addRow("incoming, answer clear") << QByteArray("-s incoming") << false << answer << Keys{};
    QTest::addRow("connected") << QByteArray("-s connected") << true << hangup << hangupKeys;
    QTest::addRow("connected, hang-up clear") << QByteArray("-s connected") << false << hangup << Keys{};
    QTest::addRow("after disconnected") << QByteArray("-s disconnected") << true << QStringList{} << Keys{};
}

void TestSwitch::remoteMode()
{
    QFETCH(QByteArray, status);
    QFETCH(bool, enabled);
    QFETCH(QStringList, debug);
    QFETCH(Keys, keys);

    WindowProbe probe;
    probe.openConsole();
    probe.setRemoteMode(true);
    if (!status.isEmpty())
        probe.sendStatus(status);
    probe.button("chk_connect")->setChecked(enabled);
    probe.button("chk_hangup")->setChecked(enabled);
    probe.takeLedBytes();

    MessageCapture capture;
    probe.pressSwitch();
    QCOMPARE(capture.debugMessages(), debug);
    QCOMPARE(recordingkeysender::events(), keys);
    QCOMPARE(probe.takeLedBytes(), QList<int>{});
}

void TestSwitch::combinations_data()
{
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<Keys>("keys");

    QTest::addRow("all none") << QList<int>{0, 0, 0} << Keys{};
    QTest::addRow("gap in the middle") << QList<int>{3, 0, 66} << pressedThenReleased({ctrl, keyP});
    QTest::addRow("same key twice") << QList<int>{66, 66, 0} << pressedThenReleased({keyP, keyP});
    QTest::addRow("main-block minus and keypad minus")
        << QList<int>{48, 89, 91} << pressedThenReleased({0xBD, 0x6D, 0x6E});
    QTest::addRow("no current entry sends code 0") << QList<int>{-1, 0, 66} << pressedThenReleased({0x00, keyP});
}

void TestSwitch::combinations()
{
    QFETCH(QList<int>, indices);
    QFETCH(Keys, keys);

    WindowProbe probe;
    probe.openConsole();
    probe.button("chk_connect")->setChecked(true);
    for (int position = 0; position < 3; ++position) {
        const QByteArray name = "connect_" + QByteArray::number(position + 1);
        probe.selector(name.constData())->setCurrentIndex(indices[position]);
    }
    probe.pressSwitch();
    QCOMPARE(recordingkeysender::events(), keys);
    QCOMPARE(recordingkeysender::flushes(), 1);
}

// Through the meta-object and the event loop, as a queued connection would call it: the argument type must be
// registered under its name.
void TestSwitch::keystrokeSlotTakesQueuedCalls()
{
    WindowProbe probe;
    QComboBox* keys[] = {probe.selector("connect_1"), probe.selector("connect_2"), probe.selector("connect_3")};
    QVERIFY(QMetaObject::invokeMethod(&probe.window(), "processKeystroke", Qt::QueuedConnection,
                                      Q_ARG(QComboBox*, keys[0]), Q_ARG(QComboBox*, keys[1]),
                                      Q_ARG(QComboBox*, keys[2])));
    QTRY_COMPARE(recordingkeysender::events(), answerKeys);
}

void TestSwitch::nothingWithoutAConsole()
{
    for (bool remote : {false, true}) {
        WindowProbe probe;
        probe.setRemoteMode(remote);
        if (remote)
            probe.sendStatus("-s incoming");
        MessageCapture capture;
        QMetaObject::invokeMethod(&probe.window(), "connect_clicked");
        QCOMPARE(capture.debugMessages(), QStringList{});
        QCOMPARE(recordingkeysender::events(), Keys{});
        QCOMPARE(probe.takeLedBytes(), QList<int>{});
    }
}

void TestSwitch::realSwitchEdgesReachTheWindow()
{
    WindowProbe probe;
    setCombination(probe, "hangup_", {3, 55, 0});
    probe.button("chk_connect")->setChecked(false);
    probe.openConsole();
    // The link's own 10 ms poll delivers the switch: the first press toggles into a call, the second hangs up.
    fakehid::queueSwitch(false);
    fakehid::queueSwitch(true);
    fakehid::queueSwitch(false);
    QTRY_COMPARE_WITH_TIMEOUT(recordingkeysender::events(), hangupKeys, 5000);
}

PARLINK_TEST_MAIN(TestSwitch)
#include "tst_switch.moc"
