// The console switch, through the simulated console, sends the chosen key combinations.
#include "fakehid.h"
#include "messagecapture.h"
#include "recordingkeysender.h"
#include "testmain.h"
#include "windowprobe.h"

#include <QClipboard>
#include <QComboBox>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#include <utility>

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

// What a command that ran by mistake would need to show up in its log.
constexpr int settleMs = 300;

// The softphone's own commands, set in the settings store as a person would: each leaves its word in a log whose
// name has a blank, so the command needs its quotes.
class SoftphoneCommands
{
public:
    SoftphoneCommands() : log(folder.filePath(QStringLiteral("softphone log"))) {}

    // By hand, in the one form of a quoted value that the settings reader keeps whole: all of it in double quotes,
    // the quotes inside escaped.
    void set(const QString& answer, const QString& hangup)
    {
        const auto quoted = [](QString value) { return '"' + value.replace('"', "\\\"") + '"'; };
        QFile file(QSettings().fileName());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly));
        file.write(("[General]\nanswer_command=" + quoted(answer) + "\nhangup_command=" + quoted(hangup)).toUtf8());
    }
    void setLogging() { set(logging(QStringLiteral("answer")), logging(QStringLiteral("hangup"))); }
    QString logging(const QString& word) const { return QStringLiteral("sh -c \"echo %1 >> '%2'\"").arg(word, log); }
    QStringList lines() const
    {
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir folder;
    QString log;
};

// The word the command for these keys leaves in the log.
QStringList commandFor(const Keys& keys)
{
    if (keys == answerKeys)
        return {QStringLiteral("answer")};
    if (keys == hangupKeys)
        return {QStringLiteral("hangup")};
    return {};
}

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
    void commandThatCannotStart_data();
    void commandThatCannotStart();
    void slowCommandHoldsNothingUp();
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
    QSettings().clear();
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

    QTest::addColumn<bool>("byCommand");

    // Where a softphone command is set, it runs instead of the keys; everything else stays the same.
    for (bool byCommand : {false, true}) {
        const char* way = byCommand ? ", by command" : "";
        QTest::addRow("both enabled%s", way)
            << true << true << answerKeys << QList<int>{0x05} << hangupKeys << QList<int>{0x01} << byCommand;
        QTest::addRow("answer clear%s", way)
            << false << true << Keys{} << QList<int>{} << hangupKeys << QList<int>{0x01} << byCommand;
        QTest::addRow("hang-up clear%s", way)
            << true << false << answerKeys << QList<int>{0x05} << Keys{} << QList<int>{} << byCommand;
        QTest::addRow("both clear%s", way)
            << false << false << Keys{} << QList<int>{} << Keys{} << QList<int>{} << byCommand;
    }
}

void TestSwitch::internalMode()
{
    QFETCH(bool, answerEnabled);
    QFETCH(bool, hangupEnabled);
    QFETCH(Keys, firstKeys);
    QFETCH(QList<int>, firstLeds);
    QFETCH(Keys, secondKeys);
    QFETCH(QList<int>, secondLeds);
    QFETCH(bool, byCommand);

    SoftphoneCommands commands;
    if (byCommand)
        commands.setLogging();
    WindowProbe probe;
    probe.openConsole();
    probe.button("chk_connect")->setChecked(answerEnabled);
    probe.button("chk_hangup")->setChecked(hangupEnabled);
    probe.takeLedBytes();

    MessageCapture capture;
    QStringList ran;
    for (int round = 0; round < 2; ++round) {
        for (const auto& [keys, leds] : {std::pair(firstKeys, firstLeds), std::pair(secondKeys, secondLeds)}) {
            probe.pressSwitch();
            QCOMPARE(recordingkeysender::events(), byCommand ? Keys{} : keys);
            QCOMPARE(probe.takeLedBytes(), leds);
            recordingkeysender::clear();
            if (byCommand)
                ran += commandFor(keys);
            QTRY_COMPARE(commands.lines().size(), ran.size());
        }
    }
    QTest::qWait(settleMs);
    QCOMPARE(commands.lines(), ran);
    QCOMPARE(capture.debugMessages(), QStringList{});
    QCOMPARE(capture.warnings(), QStringList{});

    // Plugged back in, the console shows what it showed, also where the LED outlasts the call ("Hang up" clear).
    const int shown = fakehid::outputs().back().bytes.at(2);
    fakehid::unplug();
    probe.poll();
    probe.openConsole();
    QCOMPARE(probe.takeLedBytes().constLast(), shown);
}

void TestSwitch::remoteMode_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("debug");
    QTest::addColumn<Keys>("keys");

    const QStringList answer{QStringLiteral("answer noww... ")};
    const QStringList hangup{QStringLiteral("hangup now... ")};
    QTest::addColumn<bool>("byCommand");

    for (bool byCommand : {false, true}) {
        const char* way = byCommand ? ", by command" : "";
        QTest::addRow("idle%s", way) << QByteArray() << true << QStringList{} << Keys{} << byCommand;
        QTest::addRow("incoming%s", way) << QByteArray("-s incoming") << true << answer << answerKeys << byCommand;
        QTest::addRow("incoming, answer clear%s", way)
            << QByteArray("-s incoming") << false << answer << Keys{} << byCommand;
        QTest::addRow("connected%s", way) << QByteArray("-s connected") << true << hangup << hangupKeys << byCommand;
        QTest::addRow("connected, hang-up clear%s", way)
            << QByteArray("-s connected") << false << hangup << Keys{} << byCommand;
        QTest::addRow("after disconnected%s", way)
            << QByteArray("-s disconnected") << true << QStringList{} << Keys{} << byCommand;
    }
}

void TestSwitch::remoteMode()
{
    QFETCH(QByteArray, status);
    QFETCH(bool, enabled);
    QFETCH(QStringList, debug);
    QFETCH(Keys, keys);
    QFETCH(bool, byCommand);

    SoftphoneCommands commands;
    if (byCommand)
        commands.setLogging();
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
    QCOMPARE(recordingkeysender::events(), byCommand ? Keys{} : keys);
    QCOMPARE(probe.takeLedBytes(), QList<int>{});
    const QStringList ran = byCommand ? commandFor(keys) : QStringList{};
    QTRY_COMPARE(commands.lines().size(), ran.size());
    QTest::qWait(settleMs);
    QCOMPARE(commands.lines(), ran);
}

void TestSwitch::commandThatCannotStart_data()
{
    QTest::addColumn<QStringList>("stored"); // two pieces: read as a list, as an unquoted comma makes it
    QTest::addColumn<QString>("warningEnd");

    QTest::addRow("not installed") << QStringList{"no-such-softphone --cmd answer"}
                                   << "command \"no-such-softphone --cmd answer\": no such program";
    QTest::addRow("relative path") << QStringList{"./rec.sh"}
                                   << "\"./rec.sh\": a relative path is looked up in PATH only; give the full path";
    QTest::addRow("unquoted comma: neither half runs") << QStringList{"<log>", "b"} << "; write it in double quotes";
}

// One warning naming the command and why, on stderr and on the desktop (here, without a tray, in a box), and the
// switch carries on.
void TestSwitch::commandThatCannotStart()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, warningEnd);

    SoftphoneCommands commands;
    stored.replaceInStrings("<log>", commands.logging("answer"));
    QSettings().setValue("answer_command", stored.size() == 1 ? QVariant(stored.first()) : QVariant(stored));
    WindowProbe probe;
    probe.openConsole();
    probe.takeLedBytes();
    MessageCapture capture;
    const auto said = [&] { return capture.warnings().filter("Parlink: "); };
    probe.pressSwitch();
    QCOMPARE(said().size(), 1);
    QVERIFY2(said().first().endsWith(warningEnd), qPrintable(said().first()));
    QCOMPARE(recordingkeysender::events(), Keys{});
    QCOMPARE(probe.takeLedBytes(), QList<int>{0x05});
    probe.pressSwitch();
    QCOMPARE(recordingkeysender::events(), hangupKeys);
    QCOMPARE(probe.takeLedBytes(), QList<int>{0x01});
    // A command that cannot start is said on stderr at each try; a value read as a list once; the box stays one.
    probe.pressSwitch();
    QCOMPARE(said().size(), stored.size() == 1 ? 2 : 1);
    QCOMPARE(recordingkeysender::events(), hangupKeys);
    const QList<QMessageBox*> boxes = probe.window().findChildren<QMessageBox*>();
    QCOMPARE(boxes.size(), 1);
    QTest::keyClick(boxes.first(), Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QGuiApplication::clipboard()->text().endsWith(warningEnd));
    // Once the user has closed it, the next failure is shown again.
    boxes.first()->close();
    probe.pressSwitch();
    probe.pressSwitch();
    const auto shown = [&] {
        const QList<QMessageBox*> now = probe.window().findChildren<QMessageBox*>();
        return std::count_if(now.begin(), now.end(), [](const QMessageBox* box) { return box->isVisible(); });
    };
    QTRY_COMPARE(shown(), 1);
    QTest::qWait(settleMs);
    QCOMPARE(commands.lines(), QStringList{});
}

// A command that takes its time is never waited for: the blink goes on and the next press is handled.
void TestSwitch::slowCommandHoldsNothingUp()
{
    SoftphoneCommands commands;
    commands.set(QStringLiteral("sh -c \"exec sleep 20 >/dev/null 2>&1\""), commands.logging(QStringLiteral("hangup")));
    WindowProbe probe;
    probe.openConsole();
    probe.setRemoteMode(true);
    probe.sendStatus("-s incoming");
    probe.pressSwitch();
    probe.takeLedBytes();
    int ticks = 0;
    QTRY_VERIFY((ticks += probe.takeLedBytes().size()) >= 2);
    probe.sendStatus("-s connected");
    probe.pressSwitch();
    QTRY_COMPARE(commands.lines(), QStringList{QStringLiteral("hangup")});
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
