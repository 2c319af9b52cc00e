// The X11 key sender against a real X server (a private Xvfb): every key of the table arrives as the
// keycode of its keysym, combinations keep their order, and a missing display is reported, not crashed on.
#include "console/chidvoip.h"
#include "consoleinput.h"
#include "control/keysender.h"
#include "control/keytable.h"
#include "control/x11keysyms.h"
#include "fakehid.h"
#include "ui/mainwindow.h"
#include "xrawkeys.h"
#include "xvfbserver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

struct ExpectedKey
{
    quint8 virtualKey;
    bool pressed;
};
Q_DECLARE_METATYPE(ExpectedKey)

namespace {

// Run as a child with this argument, the test prints what the key sender says about its display and exits.
const char childOption[] = "--print-key-sender-state";
// Sent after what a case sends: once it has arrived, everything before it has arrived too.
constexpr quint8 markerCode = 0x7B; // F12
constexpr int waitMs = 10000;

int printKeySenderState()
{
    const char* reason = keysender::unavailableReason();
    std::printf("%s\n", reason ? reason : "available");
    return 0;
}

} // namespace

class X11KeySenderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTableKeyArrivesAsItsKeycode_data();
    void everyTableKeyArrivesAsItsKeycode();
    void noneSendsNothing();
    void wholeTableInOneBurst();
    void combinationsKeepTheirOrder_data();
    void combinationsKeepTheirOrder();
    void keysThatLookAlikeStayApart_data();
    void keysThatLookAlikeStayApart();
    void switchPressTypesTheAnswerKeys();
    void unavailableReason_data();
    void unavailableReason();

private:
    int keycodeOf(quint8 virtualKey) const;
    QString describe(const std::vector<RawKeyEvent>& events) const;
    QString describeExpected(const QList<ExpectedKey>& keys) const;
    // What the server saw while `send` ran, up to the marker; empty with a failure when the marker never came.
    std::vector<RawKeyEvent> keysSeenWhile(const std::function<void()>& send, int expectedCount);

    XvfbServer server;
    std::unique_ptr<XRawKeyListener> listener;
    QTemporaryDir settingsHome;
};

void X11KeySenderTest::initTestCase()
{
    if (XvfbServer::executable().isEmpty())
        QSKIP("Xvfb is not installed (Debian package xvfb): no X server to send keys to");
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    // The key sender opens its one connection on first use, from DISPLAY.
    qputenv("DISPLAY", server.display());
    qputenv("XDG_CONFIG_HOME", settingsHome.path().toUtf8());
    listener = std::make_unique<XRawKeyListener>(server.display().constData());
    QVERIFY2(listener->isValid(), listener->errorString().c_str());
    const char* reason = keysender::unavailableReason();
    QVERIFY2(!reason, reason);
}

int X11KeySenderTest::keycodeOf(quint8 virtualKey) const
{
    return XKeysymToKeycode(listener->connection(), keysymForVirtualKey(virtualKey));
}

QString X11KeySenderTest::describe(const std::vector<RawKeyEvent>& events) const
{
    QStringList parts;
    for (const RawKeyEvent& event : events) {
        const KeySym keysym = XkbKeycodeToKeysym(listener->connection(), static_cast<KeyCode>(event.keycode), 0, 0);
        const char* name = XKeysymToString(keysym);
        parts << QStringLiteral("%1 %2(%3)")
                     .arg(event.pressed ? QLatin1String("press") : QLatin1String("release"))
                     .arg(QLatin1String(name ? name : "?"))
                     .arg(event.keycode);
    }
    return parts.join(QLatin1String(", "));
}

QString X11KeySenderTest::describeExpected(const QList<ExpectedKey>& keys) const
{
    std::vector<RawKeyEvent> events;
    for (const ExpectedKey& key : keys)
        events.push_back({keycodeOf(key.virtualKey), key.pressed, 0});
    return describe(events);
}

std::vector<RawKeyEvent> X11KeySenderTest::keysSeenWhile(const std::function<void()>& send, int expectedCount)
{
    listener->clear();
    send();
    keysender::press(markerCode);
    keysender::release(markerCode);
    keysender::flush();
    const std::size_t total = static_cast<std::size_t>(expectedCount) + 2;
    if (!listener->waitFor(total, waitMs)) {
        QTest::qFail(qPrintable(QStringLiteral("the server saw only: %1").arg(describe(listener->sync()))), __FILE__,
                     __LINE__);
        return {};
    }
    std::vector<RawKeyEvent> events = listener->sync();
    const int marker = keycodeOf(markerCode);
    const std::size_t size = events.size();
    if (size < 2 || events[size - 2].keycode != marker || !events[size - 2].pressed ||
        events[size - 1].keycode != marker || events[size - 1].pressed) {
        QTest::qFail(qPrintable(QStringLiteral("the marker did not come last: %1").arg(describe(events))), __FILE__,
                     __LINE__);
        return {};
    }
    events.resize(size - 2);
    return events;
}

void X11KeySenderTest::everyTableKeyArrivesAsItsKeycode_data()
{
    QTest::addColumn<int>("index");
    for (int index = 1; index < KeyTable::count; ++index)
        QTest::addRow("%s", qPrintable(KeyTable::name(index))) << index;
}

void X11KeySenderTest::everyTableKeyArrivesAsItsKeycode()
{
    QFETCH(int, index);
    const quint8 code = KeyTable::code(index);
    QVERIFY2(keycodeOf(code) != 0, "the server's keymap has no key with this key's keysym");

    const auto seen = keysSeenWhile(
        [code] {
            keysender::press(code);
            keysender::release(code);
        },
        2);
    QCOMPARE(describe(seen), describeExpected({{code, true}, {code, false}}));
    QVERIFY(!listener->anyKeyDown());
}

void X11KeySenderTest::noneSendsNothing()
{
    const auto seen = keysSeenWhile(
        [] {
            keysender::press(KeyTable::code(0));
            keysender::release(KeyTable::code(0));
        },
        0);
    QCOMPARE(describe(seen), QString());
}

// No pause is made between events, so the server must take a long run of them without losing one.
void X11KeySenderTest::wholeTableInOneBurst()
{
    QList<ExpectedKey> expected;
    for (int index = 1; index < KeyTable::count; ++index)
        expected << ExpectedKey{KeyTable::code(index), true} << ExpectedKey{KeyTable::code(index), false};
    const auto seen = keysSeenWhile(
        [] {
            for (int index = 1; index < KeyTable::count; ++index) {
                keysender::press(KeyTable::code(index));
                keysender::release(KeyTable::code(index));
            }
        },
        expected.size());
    QCOMPARE(describe(seen), describeExpected(expected));
    QVERIFY(!listener->anyKeyDown());
}

void X11KeySenderTest::combinationsKeepTheirOrder_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<ExpectedKey>>("expected");

    QTest::addRow("L_Ctrl, none, KEY_P") << QList<int>{3, 0, 66}
                                         << QList<ExpectedKey>{
                                                {0xA2, true}, {0x50, true}, {0xA2, false}, {0x50, false}};
    QTest::addRow("L_Alt, L_Shift, F4") << QList<int>{4, 5, 29}
                                        << QList<ExpectedKey>{{0xA4, true},  {0xA0, true},  {0x73, true},
                                                              {0xA4, false}, {0xA0, false}, {0x73, false}};
    QTest::addRow("R_Ctrl, R_Alt, Delete")
        << QList<int>{7, 8, 23}
        << QList<ExpectedKey>{{0xA3, true}, {0xA5, true}, {0x2E, true}, {0xA3, false}, {0xA5, false}, {0x2E, false}};
    QTest::addRow("none, none, none") << QList<int>{0, 0, 0} << QList<ExpectedKey>{};
    QTest::addRow("KEY_A, KEY_A, none") << QList<int>{51, 51, 0}
                                        << QList<ExpectedKey>{{0x41, true}, {0x41, true}, {0x41, false}, {0x41, false}};
}

// Through the window's own processKeystroke, as the switch handling calls it, with the real sender.
void X11KeySenderTest::combinationsKeepTheirOrder()
{
    QFETCH(QList<int>, selected);
    QFETCH(QList<ExpectedKey>, expected);

    MainWindow window;
    QComboBox* keys[3];
    for (int i = 0; i < 3; ++i) {
        keys[i] = window.findChild<QComboBox*>(QStringLiteral("connect_%1").arg(i + 1));
        QVERIFY(keys[i]);
        keys[i]->setCurrentIndex(selected.at(i));
    }
    const auto seen = keysSeenWhile(
        [&] {
            QVERIFY(QMetaObject::invokeMethod(&window, "processKeystroke", Qt::DirectConnection,
                                              Q_ARG(QComboBox*, keys[0]), Q_ARG(QComboBox*, keys[1]),
                                              Q_ARG(QComboBox*, keys[2])));
        },
        expected.size());
    QCOMPARE(describe(seen), describeExpected(expected));
    QVERIFY(!listener->anyKeyDown());
}

void X11KeySenderTest::keysThatLookAlikeStayApart_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<unsigned long>("keysym");

    QTest::addRow("-") << 48 << (unsigned long)XK_minus;
    QTest::addRow("+") << 49 << (unsigned long)XK_equal;
    QTest::addRow("Numpad -") << 89 << (unsigned long)XK_KP_Subtract;
    QTest::addRow("Numpad +") << 90 << (unsigned long)XK_KP_Add;
    QTest::addRow("Numpad .") << 91 << (unsigned long)XK_KP_Decimal;
    QTest::addRow("Numpad 0") << 77 << (unsigned long)XK_KP_0;
    QTest::addRow("KEY_0") << 38 << (unsigned long)XK_0;
    QTest::addRow("R_Ctrl") << 7 << (unsigned long)XK_Control_R;
    QTest::addRow("R_Alt") << 8 << (unsigned long)XK_Alt_R;
    QTest::addRow("R_Shift") << 9 << (unsigned long)XK_Shift_R;
    QTest::addRow("R_Win") << 10 << (unsigned long)XK_Super_R;
}

// Against the keysyms a person would name, and with no flush of the test's own: the combination must reach the
// server by itself.
void X11KeySenderTest::keysThatLookAlikeStayApart()
{
    QFETCH(int, index);
    QFETCH(unsigned long, keysym);

    const int keycode = XKeysymToKeycode(listener->connection(), keysym);
    QVERIFY2(keycode != 0, "the server's keymap has no key for this keysym");
    MainWindow window;
    QComboBox* keys[3];
    for (int i = 0; i < 3; ++i)
        keys[i] = window.findChild<QComboBox*>(QStringLiteral("hangup_%1").arg(i + 1));
    keys[0]->setCurrentIndex(index);
    keys[1]->setCurrentIndex(0);
    keys[2]->setCurrentIndex(0);
    listener->clear();
    QVERIFY(QMetaObject::invokeMethod(&window, "processKeystroke", Qt::DirectConnection, Q_ARG(QComboBox*, keys[0]),
                                      Q_ARG(QComboBox*, keys[1]), Q_ARG(QComboBox*, keys[2])));
    QVERIFY2(listener->waitFor(2, waitMs), qPrintable(describe(listener->sync())));
    const std::vector<RawKeyEvent> seen = listener->sync();
    QCOMPARE(describe(seen), describe({{keycode, true, 0}, {keycode, false, 0}}));
}

// The whole way from the console: a switch press in internal mode types the answer combination.
void X11KeySenderTest::switchPressTypesTheAnswerKeys()
{
    fakehid::reset();
    MainWindow window;
    window.findChild<QAbstractButton*>(QStringLiteral("radioButton_conn_led_internal"))->setChecked(true);
    window.findChild<QAbstractButton*>(QStringLiteral("chk_connect"))->setChecked(true);
    window.findChild<QComboBox*>(QStringLiteral("connect_1"))->setCurrentIndex(3);  // L_Ctrl
    window.findChild<QComboBox*>(QStringLiteral("connect_2"))->setCurrentIndex(0);  // none
    window.findChild<QComboBox*>(QStringLiteral("connect_3"))->setCurrentIndex(66); // KEY_P
    CHidVoip* link = window.findChild<CHidVoip*>();
    fakehid::plug();
    QVERIFY(QMetaObject::invokeMethod(link, "hidConnectTimer"));
    QVERIFY(fakehid::isOpen());

    const auto seen = keysSeenWhile(
        [link] {
            fakehid::queueSwitch(false);
            takeConsoleInput(*link);
            fakehid::queueSwitch(true);
            takeConsoleInput(*link);
        },
        4);
    QCOMPARE(describe(seen), describeExpected({{0xA2, true}, {0x50, true}, {0xA2, false}, {0x50, false}}));
}

void X11KeySenderTest::unavailableReason_data()
{
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<bool>("available");

    QTest::addRow("DISPLAY unset") << QByteArray() << false;
    QTest::addRow("no server at DISPLAY") << QByteArray(":4093") << false;
    QTest::addRow("DISPLAY is the Xvfb") << server.display() << true;
}

// In a child: the sender keeps one connection per process, made on first use.
void X11KeySenderTest::unavailableReason()
{
    QFETCH(QByteArray, display);
    QFETCH(bool, available);
    if (!available && !display.isEmpty() && QDir(QStringLiteral("/tmp/.X11-unix")).exists(QStringLiteral("X4093")))
        QSKIP("display :4093 is in use here");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QLatin1String(childOption)});
    QVERIFY2(child.waitForFinished(waitMs), "the child did not end");
    QCOMPARE(child.exitCode(), 0);
    const QByteArray said = child.readAllStandardOutput().trimmed();
    if (available)
        QCOMPARE(said, QByteArray("available"));
    else
        QVERIFY2(!said.isEmpty() && said != "available", said.constData());
}

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], childOption) == 0)
        return printKeySenderState();
    int result = 0;
    {
        QApplication app(argc, argv);
        X11KeySenderTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    // The key sender closes its display connection at process exit, and by then the test's X server is gone:
    // Xlib would end the process with an error, so static destructors are skipped.
    std::fflush(nullptr);
    std::_Exit(result);
}

#include "tst_x11keysender.moc"
