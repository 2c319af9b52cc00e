// Damaged settings files: the real program starts over them, applies what it can read and the defaults for the
// rest, and on the next close (here SIGTERM, handled like "Quit") writes a sound store with the ten settings.
#include "residentparlink.h"

#include <QNetworkDatagram>
#include <QSettings>
#include <QUdpSocket>
#include <QtTest>

#include <random>

namespace {

using Values = QMap<QString, int>;

const QStringList booleanKeys{"keystroke_enabled", "hangup_enabled", "connect_led_internal"};

const Values defaults{{"keystroke_enabled", 1},   {"keystroke_key1", 3}, {"keystroke_key2", 5},
                      {"keystroke_key3", 66},     {"hangup_enabled", 1}, {"hangup_key1", 3},
                      {"hangup_key2", 55},        {"hangup_key3", 0},    {"console", 0},
                      {"connect_led_internal", 1}};

Values withDefaults(const Values& changed)
{
    Values values = defaults;
    for (auto value = changed.cbegin(); value != changed.cend(); ++value)
        values[value.key()] = value.value();
    return values;
}

// A literal with the zero bytes it holds.
template <int size> QByteArray withZeros(const char (&text)[size])
{
    return QByteArray(text, size - 1);
}

QByteArray randomBytes(unsigned seed, int size)
{
    std::mt19937 random(seed);
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(random() & 0xff));
    return bytes;
}

QStringList sorted(QStringList keys)
{
    keys.sort();
    return keys;
}

} // namespace

class TestDamagedSettings : public QObject
{
    Q_OBJECT

private slots:
    void startsAndWritesASoundStore_data();
    void startsAndWritesASoundStore();
};

void TestDamagedSettings::startsAndWritesASoundStore_data()
{
    QTest::addColumn<QByteArray>("damaged");
    QTest::addColumn<Values>("applied");
    // Byte 2 of the report that "-s connected" gives in remote mode: which console model is in force (0: not
    // looked at). Models 0-2 light bit 2, the others and "no model" bit 1.
    QTest::addColumn<int>("connectedLeds");

    QTest::addRow("empty file") << QByteArray() << defaults << 0;
    QTest::addRow("section only") << QByteArray("[General]\n") << defaults << 0;
    QTest::addRow("cut in a section name") << QByteArray("[Gene") << defaults << 0;
    QTest::addRow("cut in a key") << QByteArray("[General]\nkeystroke_enabled=false\nkeystroke_key1=9\nhang")
                                  << withDefaults({{"keystroke_enabled", 0}, {"keystroke_key1", 9}}) << 0;
    QTest::addRow("cut after the equals sign") << QByteArray("[General]\nconsole=2\nkeystroke_key2=")
                                               << withDefaults({{"console", 2}, {"keystroke_key2", 0}}) << 0;
    QTest::addRow("no line end at the end")
        << QByteArray("[General]\nhangup_key3=12") << withDefaults({{"hangup_key3", 12}}) << 0;
    QTest::addRow("binary garbage") << randomBytes(7, 4096) << defaults << 0;
    QTest::addRow("garbage line before good ones")
        << withZeros("\0\xff\xfe\x01\n[General]\nconsole=1\nconnect_led_internal=false\n")
        << withDefaults({{"console", 1}, {"connect_led_internal", 0}}) << 0x05;
    QTest::addRow("UTF-16 text") << withZeros("\xff\xfe[\0G\0e\0n\0]\0\n\0c\0o\0n\0s\0o\0l\0e\0=\0003\0\n\0")
                                 << defaults << 0;
    QTest::addRow("huge values") << QByteArray("[General]\nkeystroke_key1=99999999999999999999\nconsole=2147483648\n"
                                               "hangup_key1=-2147483649\nconnect_led_internal=false\n")
                                 << withDefaults({{"keystroke_key1", 0}, {"connect_led_internal", 0}}) << 0x05;
    QTest::addRow("indices past the lists read as the first-run choices")
        << QByteArray("[General]\nkeystroke_key1=92\nkeystroke_key3=-1\nhangup_key2=1000\nhangup_key3=-7\n"
                      "console=5\nconnect_led_internal=false\n")
        << withDefaults({{"connect_led_internal", 0}}) << 0x05;
    QTest::addRow("last entries") << QByteArray("[General]\nkeystroke_key2=91\nconsole=4\nconnect_led_internal=0\n")
                                  << withDefaults({{"keystroke_key2", 91}, {"console", 4}, {"connect_led_internal", 0}})
                                  << 0x03;
    QTest::addRow("wrong types")
        << QByteArray("[General]\nkeystroke_enabled=maybe\nkeystroke_key1=@Rect(1 2 3 4)\nkeystroke_key2=abc\n"
                      "keystroke_key3=2.5\nhangup_enabled=@Invalid()\nhangup_key1=@ByteArray(7)\nhangup_key2=0x10\n"
                      "console=@Invalid()\nconnect_led_internal=@Rect(1 2 3 4)\n")
        << withDefaults({{"keystroke_enabled", 1},
                         {"keystroke_key1", 0},
                         {"keystroke_key2", 0},
                         {"keystroke_key3", 0},
                         {"hangup_enabled", 0},
                         {"hangup_key1", 7},
                         {"hangup_key2", 0},
                         {"console", 0},
                         {"connect_led_internal", 0}})
        << 0x05;
    QTest::addRow("lists for single values") << QByteArray("[General]\nkeystroke_enabled=true, false\nconsole=1, 2\n")
                                             << withDefaults({{"keystroke_enabled", 0}, {"console", 0}}) << 0;
    QTest::addRow("every value empty")
        << QByteArray("[General]\nkeystroke_enabled=\nkeystroke_key1=\nkeystroke_key2=\nkeystroke_key3=\n"
                      "hangup_enabled=\nhangup_key1=\nhangup_key2=\nhangup_key3=\nconsole=\nconnect_led_internal=\n")
        << Values{{"keystroke_enabled", 0}, {"keystroke_key1", 0},      {"keystroke_key2", 0}, {"keystroke_key3", 0},
                  {"hangup_enabled", 0},    {"hangup_key1", 0},         {"hangup_key2", 0},    {"hangup_key3", 0},
                  {"console", 0},           {"connect_led_internal", 0}}
        << 0x05;
    QTest::addRow("duplicate keys: the last counts")
        << QByteArray("[General]\nconsole=1\nconsole=3\nconnect_led_internal=false\nconnect_led_internal=true\n")
        << withDefaults({{"console", 3}}) << 0;
    QTest::addRow("keys in another section")
        << QByteArray("[Other]\nconsole=4\nconnect_led_internal=false\n") << defaults << 0;
    QTest::addRow("keys in capitals") << QByteArray("[General]\nCONSOLE=4\nKeystroke_Key1=9\n") << defaults << 0;
    QTest::addRow("blanks, quotes, CRLF")
        << QByteArray("[General]\r\n console = 2 \r\nkeystroke_key1=\"10\"\r\nhangup_enabled = false\r\n")
        << withDefaults({{"console", 2}, {"keystroke_key1", 10}, {"hangup_enabled", 0}}) << 0;
    QTest::addRow("two megabytes of comment")
        << QByteArray("[General]\n;") + QByteArray(2 * 1024 * 1024, 'x') + QByteArray("\nconsole=2\n")
        << withDefaults({{"console", 2}}) << 0;
}

void TestDamagedSettings::startsAndWritesASoundStore()
{
    QFETCH(QByteArray, damaged);
    QFETCH(Values, applied);
    QFETCH(int, connectedLeds);

    ResidentParlink parlink;
    QVERIFY(QDir().mkpath(QFileInfo(parlink.settingsFile()).path()));
    {
        QFile file(parlink.settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(damaged), qint64(damaged.size()));
    }
    // Keys of its own that the damaged file yields may stay beside the ten; nothing else may appear.
    QStringList expectedKeys = defaults.keys();
    for (const QString& key : QSettings(parlink.settingsFile(), QSettings::IniFormat).allKeys()) {
        if (!expectedKeys.contains(key))
            expectedKeys.append(key);
    }

    QVERIFY(parlink.startWithConsole());
    if (connectedLeds) {
        const int before = parlink.outputs().size();
        QUdpSocket sender;
        sender.writeDatagram(QByteArray("-s connected"), QHostAddress::LocalHost, 6123);
        QTRY_VERIFY_WITH_TIMEOUT(parlink.outputs().size() >= before + 2, 10000);
        QCOMPARE(int(quint8(parlink.outputs().last().at(2))), connectedLeds);
    }
    QVERIFY(parlink.terminate());

    QFile file(parlink.settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("[General]"));
    QSettings stored(parlink.settingsFile(), QSettings::IniFormat);
    QCOMPARE(stored.status(), QSettings::NoError);
    QCOMPARE(sorted(stored.allKeys()), sorted(expectedKeys));
    for (auto value = applied.cbegin(); value != applied.cend(); ++value) {
        // Written as the widgets hold them: true or false, or a plain number.
        const QString expected = booleanKeys.contains(value.key())
                                     ? QString::fromLatin1(value.value() ? "true" : "false")
                                     : QString::number(value.value());
        QCOMPARE(stored.value(value.key()).toString(), expected);
    }
}

QTEST_GUILESS_MAIN(TestDamagedSettings)
#include "tst_damagedsettings.moc"
