// The real executable keeps the ten settings in the toolkit's native store across runs, also when the
// desktop ends it with a signal instead of "Quit".
#include "residentparlink.h"

#include <QSettings>
#include <QtTest>

#include <csignal>

namespace {

const QStringList tenKeys{"connect_led_internal", "console",       "hangup_enabled",    "hangup_key1",
                          "hangup_key2",          "hangup_key3",   "keystroke_enabled", "keystroke_key1",
                          "keystroke_key2",       "keystroke_key3"};

QStringList sortedKeys(const QSettings& settings)
{
    QStringList keys = settings.allKeys();
    keys.sort();
    return keys;
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void survivesARestart_data();
    void survivesARestart();
    void firstRunStoresTheDefaults();
};

void TestSettingsStore::survivesARestart_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addRow("SIGTERM") << int(SIGTERM);
    QTest::addRow("SIGINT") << int(SIGINT);
    QTest::addRow("SIGHUP") << int(SIGHUP);
}

void TestSettingsStore::survivesARestart()
{
    QFETCH(int, signalNumber);

    ResidentParlink first;
    {
        QSettings stored(first.settingsFile(), QSettings::IniFormat);
        stored.setValue(QStringLiteral("keystroke_enabled"), false);
        stored.setValue(QStringLiteral("keystroke_key1"), 91);
        stored.setValue(QStringLiteral("keystroke_key2"), 0);
        stored.setValue(QStringLiteral("keystroke_key3"), 48);
        stored.setValue(QStringLiteral("hangup_key1"), 89);
        stored.setValue(QStringLiteral("console"), 2);
        stored.setValue(QStringLiteral("connect_led_internal"), false);
    }
    QVERIFY(first.startWithConsole());
    ::kill(pid_t(first.process().processId()), signalNumber);
    QVERIFY(first.process().waitForFinished(10000));
    QCOMPARE(first.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.process().exitCode(), 0);

    QFile file(first.settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("[General]"));
    QSettings settings(first.settingsFile(), QSettings::IniFormat);
    QCOMPARE(sortedKeys(settings), tenKeys);
    QCOMPARE(settings.value(QStringLiteral("keystroke_enabled")).toBool(), false);
    QCOMPARE(settings.value(QStringLiteral("keystroke_key1")).toInt(), 91);
    QCOMPARE(settings.value(QStringLiteral("keystroke_key2")).toInt(), 0);
    QCOMPARE(settings.value(QStringLiteral("keystroke_key3")).toInt(), 48);
    QCOMPARE(settings.value(QStringLiteral("hangup_enabled")).toBool(), true);
    QCOMPARE(settings.value(QStringLiteral("hangup_key1")).toInt(), 89);
    QCOMPARE(settings.value(QStringLiteral("hangup_key2")).toInt(), 55);
    QCOMPARE(settings.value(QStringLiteral("console")).toInt(), 2);
    QCOMPARE(settings.value(QStringLiteral("connect_led_internal")).toBool(), false);
}

void TestSettingsStore::firstRunStoresTheDefaults()
{
    ResidentParlink parlink;
    QVERIFY(!QFile::exists(parlink.settingsFile()));
    QVERIFY(parlink.startWithConsole());
    QVERIFY(parlink.terminate());
    QSettings settings(parlink.settingsFile(), QSettings::IniFormat);
    QCOMPARE(sortedKeys(settings), tenKeys);
    const QList<int> indices{settings.value(QStringLiteral("keystroke_key1")).toInt(),
                             settings.value(QStringLiteral("keystroke_key2")).toInt(),
                             settings.value(QStringLiteral("keystroke_key3")).toInt(),
                             settings.value(QStringLiteral("hangup_key1")).toInt(),
                             settings.value(QStringLiteral("hangup_key2")).toInt(),
                             settings.value(QStringLiteral("hangup_key3")).toInt(),
                             settings.value(QStringLiteral("console")).toInt()};
    QCOMPARE(indices, QList<int>({3, 5, 66, 3, 55, 0, 0}));
    QCOMPARE(settings.value(QStringLiteral("connect_led_internal")).toBool(), true);
    QCOMPARE(settings.value(QStringLiteral("keystroke_enabled")).toBool(), true);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
