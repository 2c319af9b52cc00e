// The ten settings: first-run defaults, what a stored value turns into, and when they are written.
#include "console/chidvoip.h"
#include "fakehid.h"
#include "messagecapture.h"
#include "testmain.h"
#include "windowprobe.h"

#include <QComboBox>
#include <QFileInfo>
#include <QSettings>

#include <sched.h>
#include <sys/mount.h>

namespace {

const QStringList allKeys{"connect_led_internal", "console",       "hangup_enabled",    "hangup_key1",
                          "hangup_key2",          "hangup_key3",   "keystroke_enabled", "keystroke_key1",
                          "keystroke_key2",       "keystroke_key3"};

struct FormState
{
    bool answer;
    QList<int> answerKeys;
    bool hangup;
    QList<int> hangupKeys;
    int console;
    bool internal;
};

FormState readForm(WindowProbe& probe)
{
    return {probe.button("chk_connect")->isChecked(),
            {probe.selector("connect_1")->currentIndex(), probe.selector("connect_2")->currentIndex(),
             probe.selector("connect_3")->currentIndex()},
            probe.button("chk_hangup")->isChecked(),
            {probe.selector("hangup_1")->currentIndex(), probe.selector("hangup_2")->currentIndex(),
             probe.selector("hangup_3")->currentIndex()},
            probe.selector("comboBox_console")->currentIndex(),
            probe.button("radioButton_conn_led_internal")->isChecked()};
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstRun();
    void storedValuesAreApplied_data();
    void storedValuesAreApplied();
    void roundTrip();
    void consoleModelReachesTheLink_data();
    void consoleModelReachesTheLink();
    void remoteModeIsRestoredIdle();
    void closingWritesAllTenKeysUnchanged();
    void changesAreStoredSoon_data();
    void changesAreStoredSoon();
};

void TestSettings::init()
{
    fakehid::reset();
    QSettings().clear();
}

void TestSettings::firstRun()
{
    WindowProbe probe;
    const FormState state = readForm(probe);
    QVERIFY(state.answer);
    QCOMPARE(state.answerKeys, QList<int>({3, 5, 66}));
    QVERIFY(state.hangup);
    QCOMPARE(state.hangupKeys, QList<int>({3, 55, 0}));
    QCOMPARE(state.console, 0);
    QVERIFY(state.internal);
    QCOMPARE(probe.selector("connect_3")->currentText(), QStringLiteral("KEY_P"));
    QCOMPARE(probe.selector("hangup_2")->currentText(), QStringLiteral("KEY_E"));
}

void TestSettings::storedValuesAreApplied_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<int>("applied");

    QTest::addRow("last key") << "keystroke_key1" << QVariant(91) << "connect_1" << 91;
    QTest::addRow("none") << "keystroke_key2" << QVariant(0) << "connect_2" << 0;
    QTest::addRow("number as text") << "hangup_key1" << QVariant(QStringLiteral("12")) << "hangup_1" << 12;
    QTest::addRow("text") << "hangup_key2" << QVariant(QStringLiteral("Ctrl")) << "hangup_2" << 0;
    QTest::addRow("negative reads as the default") << "hangup_key2" << QVariant(-5) << "hangup_2" << 55;
    QTest::addRow("past the table reads as the default") << "keystroke_key3" << QVariant(92) << "connect_3" << 66;
    QTest::addRow("-1 reads as the default") << "keystroke_key1" << QVariant(-1) << "connect_1" << 3;
    QTest::addRow("console past the models") << "console" << QVariant(7) << "comboBox_console" << 0;
    QTest::addRow("console -1") << "console" << QVariant(-1) << "comboBox_console" << 0;
    QTest::addRow("last console") << "console" << QVariant(4) << "comboBox_console" << 4;
    QTest::addRow("answer off") << "keystroke_enabled" << QVariant(false) << "chk_connect" << 0;
    QTest::addRow("hang-up off as text") << "hangup_enabled" << QVariant(QStringLiteral("false")) << "chk_hangup" << 0;
    QTest::addRow("hang-up as number") << "hangup_enabled" << QVariant(1) << "chk_hangup" << 1;
    QTest::addRow("remote mode") << "connect_led_internal" << QVariant(false) << "radioButton_conn_led_internal" << 0;
    QTest::addRow("internal as text") << "connect_led_internal" << QVariant(QStringLiteral("true"))
                                      << "radioButton_conn_led_internal" << 1;
}

void TestSettings::storedValuesAreApplied()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QString, widget);
    QFETCH(int, applied);

    QSettings().setValue(key, stored);
    WindowProbe probe;
    const QByteArray name = widget.toLatin1();
    QComboBox* selector = probe.selector(name.constData());
    if (selector)
        QCOMPARE(selector->currentIndex(), applied);
    else
        QCOMPARE(int(probe.button(name.constData())->isChecked()), applied);

    // What was applied is what the next close writes back.
    QVERIFY(probe.window().close());
    const QVariant written = QSettings().value(key);
    QCOMPARE(selector ? written.toInt() : int(written.toBool()), applied);
}

void TestSettings::roundTrip()
{
    {
        WindowProbe probe;
        probe.button("chk_connect")->setChecked(false);
        probe.selector("connect_1")->setCurrentIndex(91);
        probe.selector("connect_2")->setCurrentIndex(0);
        probe.selector("connect_3")->setCurrentIndex(48);
        probe.button("chk_hangup")->setChecked(false);
        probe.selector("hangup_1")->setCurrentIndex(89);
        probe.selector("hangup_2")->setCurrentIndex(1);
        probe.selector("hangup_3")->setCurrentIndex(20);
        probe.selector("comboBox_console")->setCurrentIndex(4);
        probe.setRemoteMode(true);
        QMetaObject::invokeMethod(&probe.window(), "close_exit");
    }
    QSettings settings;
    QStringList keys = settings.allKeys();
    keys.sort();
    QCOMPARE(keys, allKeys);
    QCOMPARE(settings.value(QStringLiteral("hangup_key1")).toInt(), 89);

    WindowProbe again;
    const FormState state = readForm(again);
    QVERIFY(!state.answer);
    QCOMPARE(state.answerKeys, QList<int>({91, 0, 48}));
    QVERIFY(!state.hangup);
    QCOMPARE(state.hangupKeys, QList<int>({89, 1, 20}));
    QCOMPARE(state.console, 4);
    QVERIFY(!state.internal);
}

void TestSettings::consoleModelReachesTheLink_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("changes");
    QTest::addColumn<int>("ledByteAfterConnectOn");

    QTest::addRow("absent") << QVariant() << 0 << 0x05;
    QTest::addRow("0") << QVariant(0) << 0 << 0x05;
    QTest::addRow("3") << QVariant(3) << 1 << 0x03;
    QTest::addRow("out of range reads as the first model") << QVariant(9) << 0 << 0x05;
}

void TestSettings::consoleModelReachesTheLink()
{
    QFETCH(QVariant, stored);
    QFETCH(int, changes);
    QFETCH(int, ledByteAfterConnectOn);

    if (stored.isValid())
        QSettings().setValue(QStringLiteral("console"), stored);
    MessageCapture capture;
    WindowProbe probe;
    QCOMPARE(capture.debugMessages().count(QStringLiteral("onConsoleChanged")), changes);
    probe.openConsole();
    probe.takeLedBytes();
    probe.link().setConnectLed(true);
    QCOMPARE(probe.takeLedBytes(), QList<int>{ledByteAfterConnectOn});
}

void TestSettings::remoteModeIsRestoredIdle()
{
    QSettings().setValue(QStringLiteral("connect_led_internal"), false);
    WindowProbe probe;
    QVERIFY(probe.button("radioButton_conn_led_remote")->isChecked());
    QVERIFY(!probe.window().findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly)->isActive());
    probe.openConsole();
    probe.takeLedBytes();
    probe.sendStatus("-s connected");
    QCOMPARE(probe.takeLedBytes(), QList<int>({0x01, 0x05}));
}

void TestSettings::closingWritesAllTenKeysUnchanged()
{
    WindowProbe probe;
    QVERIFY(QSettings().allKeys().isEmpty());
    QVERIFY(probe.window().close());
    QSettings settings;
    QStringList keys = settings.allKeys();
    keys.sort();
    QCOMPARE(keys, allKeys);
    QCOMPARE(settings.value(QStringLiteral("keystroke_key3")).toInt(), 66);
    QCOMPARE(settings.value(QStringLiteral("connect_led_internal")).toBool(), true);
}

void TestSettings::changesAreStoredSoon_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<bool>("thenReadOnly");
    QTest::addRow("a key and the mode") << "connect_2" << true << false;
    QTest::addRow("an answer key alone") << "connect_3" << false << false;
    QTest::addRow("a hang-up key alone") << "hangup_1" << false << false;
    // Made read-only on purpose, say: what a later start would read is what the window shows.
    QTest::addRow("then the store turns read-only: nothing said") << "hangup_3" << false << true;
}

// A change in the window reaches the store a moment later, without a close: a Parlink killed then loses nothing.
void TestSettings::changesAreStoredSoon()
{
    QFETCH(QString, selector);
    QFETCH(bool, remote);
    QFETCH(bool, thenReadOnly);

    WindowProbe probe;
    MessageCapture capture;
    probe.selector(qPrintable(selector))->setCurrentIndex(91);
    if (remote)
        probe.setRemoteMode(true);
    QVERIFY(QSettings().allKeys().isEmpty());
    QTRY_COMPARE(QSettings().allKeys(), allKeys);
    const QString key = QString(selector).replace("connect_", "keystroke_key").replace("hangup_", "hangup_key");
    QCOMPARE(QSettings().value(key).toInt(), 91);
    QCOMPARE(QSettings().value("connect_led_internal").toBool(), !remote);
    if (!thenReadOnly)
        return;
    // A read-only mount, which holds for root too; this thread alone sees it, in a mount namespace of its own.
    const QByteArray folder = QFile::encodeName(QFileInfo(QSettings().fileName()).absolutePath());
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP("no private mount namespace can be made here");
    const auto unmount = qScopeGuard([&] { ::umount2(folder.constData(), MNT_DETACH); });
    QCOMPARE(::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
    QVERIFY(!QSettings().isWritable());
    QVERIFY(QMetaObject::invokeMethod(&probe.window(), "writeSettings"));
    QCOMPARE(capture.warnings(), QStringList());
}

PARLINK_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
