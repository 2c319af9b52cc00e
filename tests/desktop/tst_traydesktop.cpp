// The real program on a real X desktop (a private Xvfb, with trayer as the system tray): it starts hidden
// in the tray, its tray menu shows and quits it, and without a tray it shows its window and quits on close.
#include "childprocess.h"
#include "session/instancelocation.h"
#include "xdesktop.h"
#include "xvfbserver.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

#include <cerrno>
#include <csignal>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString windowTitle = QStringLiteral("Parlink v1.0.229.0");
const QSize windowSize(444, 266);
constexpr int waitMs = 20000;
// The user's folder in /tmp, read-only, is of no use for a lock.
const QString noFolderInTmp = QStringLiteral("mount -t tmpfs -o ro,mode=0700 parlink-test /tmp/parlink-$(id -u)");

constexpr int leftButton = 1;
constexpr int rightButton = 3;

// The menu holds two entries of one height, "Quit" above "Settings".
enum TrayMenuEntry
{
    quitEntry,
    settingsEntry
};
constexpr int trayMenuEntries = 2;

bool painted(const QImage& image)
{
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first)
                return true;
        }
    }
    return false;
}

void endProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// What the first Parlink is doing when the second one starts.
enum class FirstParlink
{
    Running,
    Hung,                      // stopped: it holds its lock and its socket but never answers
    Dying,                     // stopped, then killed while the second start waits for its answer
    KilledLeavingADamagedLock, // killed, its lock file then emptied (as a full disk does) and old
    SlowToAnswer,              // stopped, and going on 3 s later
    EarlierVersion,            // the version before: its lock and socket beside the settings, reads but never answers
    EarlierVersionNotListening,
    EarlierVersionOnAnotherMachine, // its lock beside the settings written on a machine that shares the home folder
    EarlierVersionOnATwin,          // as above, from a machine of this one's host name and another machine id
    EarlierVersionOnACopy,          // the same from a copy of this system (its machine id), with a process gone here
    EarlierVersionDamagedLock,      // its lock left emptied, as a full disk leaves it, and old
    // Runs on a machine that shares the home folder (another host name) without a folder of its own: its lock and
    // socket beside the settings, the socket out of this machine's reach.
    OnAnotherMachine,
    OnATwin, // the same from a machine of this one's host name and another machine id
};

// The id of a machine of this one's host name.
const QByteArray twinMachineId = "0123456789abcdef0123456789abcdef\n";

// The settings store as the window is closed.
enum class Store
{
    Writable,
    FolderInItsPlace,
    // The same, and meanwhile a second start, then the end of the session.
    FolderInItsPlaceThenSessionEnd,
    // Holding what the window shows, so that nothing is lost; written by hand ("1" for true, a leading zero), with
    // a key left out that shows its first-run value.
    ReadOnlyHoldingTheWindowsValues,
};

enum class SecondStart
{
    ShowsTheFirst,       // ends with 0 once the first one's window is up
    SaysItDoesNotAnswer, // ends with 1 and says why
    SaysItCannotAsk,     // ends with 1: the folder's path is too long for a local socket
    RunsItself,          // becomes a Parlink with a tray icon of its own
};

// Names removed from a folder, in the order the kernel saw them go.
class Removals
{
public:
    explicit Removals(const QString& folder) : watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_DELETE);
    }
    ~Removals() { ::close(watch); }
    QStringList take()
    {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        ssize_t length;
        while ((length = ::read(watch, buffer, sizeof buffer)) > 0) {
            for (const char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len > 0)
                    names.append(QFile::decodeName(event->name));
                at += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int watch;
};

} // namespace

Q_DECLARE_METATYPE(FirstParlink)
Q_DECLARE_METATYPE(SecondStart)
Q_DECLARE_METATYPE(Store)

class TrayDesktopTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void settingsFromTheTrayMenuThenQuit_data();
    void settingsFromTheTrayMenuThenQuit();
    void trayIconShowsItsImageAndQuitsWhileHidden();
    void withoutTrayTheWindowShowsAndClosingQuits_data();
    void withoutTrayTheWindowShowsAndClosingQuits();
    void secondStartShowsTheRunningWindow();
    void secondStartAtTheEdges_data();
    void secondStartAtTheEdges();
    void onePerDesktop();
    void lockFolderIsTheUsersOwn();

private:
    void startTrayer();
    // fontDpi: the screen's font resolution, as a high-DPI desktop sets it; the X server's own when empty.
    void startParlink(QProcess& process, const QString& fontDpi = QString(), const QStringList& arguments = {});
    void startParlink() { startParlink(parlink); }
    // The windows of the first Parlink started, or of another one.
    QList<DesktopWindow> parlinkWindows(bool onlyViewable, const QProcess* other = nullptr);
    DesktopWindow mainWindow(const QProcess* other = nullptr);
    DesktopWindow trayIcon(const QProcess* other = nullptr);
    DesktopWindow trayMenu();
    bool isViewable(unsigned long window);
    // Opens the tray icon's menu with a right click, as a person would.
    void openTrayMenu(const char* screenshot = nullptr);
    // Clicks an entry of the open menu.
    void pickFromTrayMenu(TrayMenuEntry entry);
    void chooseFromTrayMenu(TrayMenuEntry entry);
    void saveArtifact(const QImage& image, const char* name);
    void expectNormalExit();
    // The next starts run with these mounts of their own (shell commands); skips where none can be made.
    void mountPrivately(const QString& commands);

    std::unique_ptr<XvfbServer> server;
    std::unique_ptr<XDesktop> desktop;
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<QTemporaryDir> runtimeDir;
    // NAME=value pairs that the next starts get on top of the private desktop's environment.
    QStringList environmentChanges;
    // Shell commands run in a mount namespace of the next starts' own, before Parlink; none when empty.
    QString privateMounts;
    ChildProcess trayer;
    ChildProcess parlink;
};

void TrayDesktopTest::initTestCase()
{
    if (XvfbServer::executable().isEmpty())
        QSKIP("Xvfb is not installed (Debian package xvfb): no desktop to run the program on");
    QVERIFY2(QFileInfo(QStringLiteral(PARLINK_EXECUTABLE)).isExecutable(), PARLINK_EXECUTABLE);
    trayer.setProcessChannelMode(QProcess::MergedChannels);
    parlink.setProcessChannelMode(QProcess::MergedChannels);
}

void TrayDesktopTest::init()
{
    server = std::make_unique<XvfbServer>();
    QVERIFY2(server->start({"-screen", "0", "2048x1536x24"}), qPrintable(server->errorString())); // room for 144 DPI
    desktop = std::make_unique<XDesktop>(server->display());
    QVERIFY(desktop->isValid());
    home = std::make_unique<QTemporaryDir>();
    runtimeDir = std::make_unique<QTemporaryDir>(); // created 0700, as a session's runtime folder is
    QVERIFY(home->isValid() && runtimeDir->isValid());
}

void TrayDesktopTest::cleanup()
{
    environmentChanges.clear();
    privateMounts.clear();
    if (parlink.state() != QProcess::NotRunning)
        ::kill(pid_t(parlink.processId()), SIGCONT);
    endProcess(parlink);
    endProcess(trayer);
    if (QTest::currentTestFailed()) {
        qWarning("parlink said:\n%s", parlink.readAll().constData());
        qWarning("trayer said:\n%s", trayer.readAll().constData());
    }
    parlink.readAll();
    trayer.readAll();
    desktop.reset();
    server.reset();
}

void TrayDesktopTest::startTrayer()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (program.isEmpty())
        QSKIP("trayer is not installed (Debian package trayer): no system tray to put the icon in");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server->display()));
    environment.insert(QStringLiteral("HOME"), home->path());
    environment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    trayer.setProcessEnvironment(environment);
    trayer.start(program, {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                           QStringLiteral("right"), QStringLiteral("--height"), QStringLiteral("32")});
    QVERIFY2(trayer.waitForStarted(waitMs), qPrintable(trayer.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(desktop->hasSystemTray(), waitMs);
}

void TrayDesktopTest::startParlink(QProcess& process, const QString& fontDpi, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A desktop of its own: no session bus (so the tray icon is an XEmbed one), no real user's settings.
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server->display()));
    environment.insert(QStringLiteral("HOME"), home->path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home->filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home->filePath(QStringLiteral(".cache")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir->path());
    if (!fontDpi.isEmpty())
        environment.insert(QStringLiteral("QT_FONT_DPI"), fontDpi);
    for (const QString& change : environmentChanges)
        environment.insert(change.section(QLatin1Char('='), 0, 0), change.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(environment);
    if (!privateMounts.isEmpty())
        process.start(QStringLiteral("unshare"),
                      QStringList{"-cmu", "sh", "-c", privateMounts + " && exec \"$0\" \"$@\"", PARLINK_EXECUTABLE} +
                          arguments);
    else
        process.start(QStringLiteral(PARLINK_EXECUTABLE), arguments);
    QVERIFY2(process.waitForStarted(waitMs), qPrintable(process.errorString()));
}

QList<DesktopWindow> TrayDesktopTest::parlinkWindows(bool onlyViewable, const QProcess* other)
{
    QList<DesktopWindow> windows;
    for (const DesktopWindow& window : desktop->windowsOf((other ? other : &parlink)->processId())) {
        if (window.viewable || !onlyViewable)
            windows.append(window);
    }
    return windows;
}

DesktopWindow TrayDesktopTest::mainWindow(const QProcess* other)
{
    for (const DesktopWindow& window : parlinkWindows(true, other)) {
        if (window.title == windowTitle && !window.embedded && !window.popupMenu)
            return window;
    }
    return {};
}

DesktopWindow TrayDesktopTest::trayIcon(const QProcess* other)
{
    for (const DesktopWindow& window : parlinkWindows(true, other)) {
        if (window.embedded)
            return window;
    }
    return {};
}

DesktopWindow TrayDesktopTest::trayMenu()
{
    for (const DesktopWindow& window : parlinkWindows(true)) {
        if (window.popupMenu)
            return window;
    }
    return {};
}

bool TrayDesktopTest::isViewable(unsigned long window)
{
    for (const DesktopWindow& candidate : parlinkWindows(true)) {
        if (candidate.id == window)
            return true;
    }
    return false;
}

void TrayDesktopTest::openTrayMenu(const char* screenshot)
{
    QTRY_VERIFY_WITH_TIMEOUT(trayIcon().id != 0, waitMs);
    // A loaded machine's tray may still be placing an icon it has just shown, and a click then goes elsewhere: a
    // user clicks again, and so does this, a few times at most.
    for (int click = 0; click < 5; ++click) {
        desktop->click(trayIcon().geometry.center(), rightButton);
        if (QTest::qWaitFor([this] { return trayMenu().id != 0; }, waitMs / 4))
            break;
    }
    QVERIFY(trayMenu().id != 0);
    if (screenshot) {
        QImage image;
        QTRY_VERIFY_WITH_TIMEOUT(painted(image = desktop->grab(trayMenu().id)), waitMs);
        saveArtifact(image, screenshot);
    }
}

void TrayDesktopTest::pickFromTrayMenu(TrayMenuEntry entry)
{
    const DesktopWindow menu = trayMenu();
    QVERIFY(menu.id != 0);
    const QRect area = menu.geometry;
    const int entryHeight = area.height() / trayMenuEntries;
    desktop->click(QPoint(area.center().x(), area.top() + entryHeight * entry + entryHeight / 2), leftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!isViewable(menu.id), waitMs);
}

void TrayDesktopTest::chooseFromTrayMenu(TrayMenuEntry entry)
{
    openTrayMenu();
    if (!QTest::currentTestFailed())
        pickFromTrayMenu(entry);
}

void TrayDesktopTest::saveArtifact(const QImage& image, const char* name)
{
    const QDir artifacts(QStringLiteral(PARLINK_ARTIFACTS_DIR));
    QVERIFY(artifacts.mkpath(QStringLiteral(".")));
    const QString path = artifacts.filePath(QLatin1String(name));
    QVERIFY2(image.save(path), qPrintable(path));
}

void TrayDesktopTest::expectNormalExit()
{
    // The menu's own wait for it to close runs the event loop, which may already have seen the program end.
    if (parlink.state() != QProcess::NotRunning)
        QVERIFY2(parlink.waitForFinished(waitMs), "parlink did not end");
    QCOMPARE(parlink.exitStatus(), QProcess::NormalExit);
    QCOMPARE(parlink.exitCode(), 0);
}

void TrayDesktopTest::mountPrivately(const QString& commands)
{
    if (QProcess::execute(QStringLiteral("unshare"), {"-cmu", "sh", "-c", commands}) != 0)
        QSKIP("no private mount namespace can be made here");
    privateMounts = commands;
}

void TrayDesktopTest::settingsFromTheTrayMenuThenQuit_data()
{
    QTest::addColumn<bool>("storeFails");
    QTest::addRow("stored, then Quit") << false;
    // The end of the session waits for no box, also where a store failed while Parlink ran.
    QTest::addRow("not stored, then the session ends: at once, no box") << true;
}

void TrayDesktopTest::settingsFromTheTrayMenuThenQuit()
{
    QFETCH(bool, storeFails);
    startTrayer();
    startParlink();
    QTRY_VERIFY_WITH_TIMEOUT(trayIcon().id != 0, waitMs);
    QCOMPARE(mainWindow().id, 0ul);
    openTrayMenu("parlink-traymenu.png");
    if (QTest::currentTestFailed())
        return;
    // The program has long been running its event loop by now, and still shows no window.
    QCOMPARE(mainWindow().id, 0ul);
    pickFromTrayMenu(settingsEntry);
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().id != 0, waitMs);
    const DesktopWindow window = mainWindow();
    QVERIFY(window.geometry.width() >= windowSize.width() && window.geometry.height() >= windowSize.height());
    QImage screenshot;
    QTRY_VERIFY_WITH_TIMEOUT(painted(screenshot = desktop->grab(window.id)), waitMs);
    saveArtifact(screenshot, "parlink-settings.png");

    // The close button only hides the window; the program stays in the tray and has stored the settings.
    const QString file = home->filePath(QStringLiteral(".config/Orvanta/Parlink.conf"));
    QVERIFY(!storeFails || QDir().mkpath(file)); // a folder where the store's file belongs
    desktop->requestClose(window.id);
    QTRY_VERIFY_WITH_TIMEOUT(!isViewable(window.id), waitMs);
    if (storeFails) {
        QTRY_VERIFY_WITH_TIMEOUT(parlink.peek(1 << 16).contains("cannot store the settings"), waitMs);
        QCOMPARE(::kill(pid_t(parlink.processId()), SIGTERM), 0);
        expectNormalExit();
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).isFile(), waitMs);
    QCOMPARE(parlink.state(), QProcess::Running);
    QVERIFY(trayIcon().id != 0);

    chooseFromTrayMenu(settingsEntry);
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().id != 0, waitMs);
    QCOMPARE(mainWindow().geometry.size(), window.geometry.size());

    chooseFromTrayMenu(quitEntry);
    expectNormalExit();
}

void TrayDesktopTest::trayIconShowsItsImageAndQuitsWhileHidden()
{
    // The port taken before Parlink has a tray icon: the icon still brings the message, in a balloon of its own.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 6123, QUdpSocket::DontShareAddress));
    startTrayer();
    startParlink();
    QTRY_VERIFY_WITH_TIMEOUT(trayIcon().id != 0, waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(parlinkWindows(true).count(), 2, waitMs);
    const DesktopWindow icon = trayIcon();
    QImage image;
    // Painted once the program has drawn into the tray's slot; an empty slot stays one plain colour.
    QTRY_VERIFY_WITH_TIMEOUT(painted(image = desktop->grab(icon.id)), waitMs);
    saveArtifact(image.scaled(image.size() * 4), "parlink-trayicon.png");

    chooseFromTrayMenu(quitEntry);
    expectNormalExit();
    QVERIFY(QFileInfo::exists(home->filePath(QStringLiteral(".config/Orvanta/Parlink.conf"))));
}

void TrayDesktopTest::withoutTrayTheWindowShowsAndClosingQuits_data()
{
    QTest::addColumn<int>("fontDpi");
    QTest::addColumn<Store>("store");
    QTest::addRow("96 DPI") << 96 << Store::Writable;
    QTest::addRow("144 DPI") << 144 << Store::Writable;
    QTest::addRow("settings not stored: said before the end") << 96 << Store::FolderInItsPlace;
    QTest::addRow("settings not stored, the session ends meanwhile: not waited for")
        << 96 << Store::FolderInItsPlaceThenSessionEnd;
    QTest::addRow("read-only store, nothing lost: nothing said") << 96 << Store::ReadOnlyHoldingTheWindowsValues;
}

// With no tray the icon cannot be reached, so the window is the way in, and closing it is the way out. On a
// high-DPI screen the whole form is scaled up, not squeezed into the pixels of a 96 DPI one. Settings that cannot be
// stored are said in a box that waits for the user before the program ends.
void TrayDesktopTest::withoutTrayTheWindowShowsAndClosingQuits()
{
    QFETCH(int, fontDpi);
    QFETCH(Store, store);
    const bool storable = store == Store::Writable || store == Store::ReadOnlyHoldingTheWindowsValues;
    const QString folder = home->filePath(QStringLiteral(".config/Orvanta"));
    QFile file(folder + QStringLiteral("/Parlink.conf"));
    if (!storable) { // a choice other than the first-run one, in a file that will be lost
        QVERIFY(QDir().mkpath(folder) && file.open(QIODevice::WriteOnly));
        file.write("[General]\nconnect_led_internal=false\n");
        file.close();
    }
    if (store == Store::ReadOnlyHoldingTheWindowsValues) {
        QVERIFY(QDir().mkpath(folder) && file.open(QIODevice::WriteOnly));
        file.write("[General]\nconnect_led_internal=1\nconsole=0\nhangup_enabled=true\nhangup_key1=03\n"
                   "hangup_key2=55\nhangup_key3=0\nkeystroke_key1=3\nkeystroke_key2=5\nkeystroke_key3=66\n");
        file.close();
        mountPrivately(QStringLiteral("mount --bind %1 %1 && mount -o remount,bind,ro %1").arg(folder));
    }
    startParlink(parlink, QString::number(fontDpi));
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().id != 0, waitMs);
    const DesktopWindow window = mainWindow();
    const QSize scaled = windowSize * (fontDpi / 96.0);
    QVERIFY2(window.geometry.width() >= scaled.width() && window.geometry.height() >= scaled.height(),
             qPrintable(QStringLiteral("%1x%2").arg(window.geometry.width()).arg(window.geometry.height())));
    QImage screenshot;
    QTRY_VERIFY_WITH_TIMEOUT(painted(screenshot = desktop->grab(window.id)), waitMs);
    saveArtifact(screenshot, qPrintable(QStringLiteral("parlink-window-%1dpi.png").arg(fontDpi)));
    QCOMPARE(trayIcon().id, 0ul);
    // The store's file gives way to a folder, which no user, root included, can write as a file.
    QVERIFY(storable || (file.remove() && QDir().mkpath(file.fileName())));
    desktop->requestClose(window.id);
    if (!storable) {
        const auto box = [this] {
            const QList<DesktopWindow> windows = parlinkWindows(true);
            const auto found = std::find_if(windows.begin(), windows.end(),
                                            [](const DesktopWindow& window) { return window.title == "Parlink"; });
            return found == windows.end() ? DesktopWindow() : *found;
        };
        QTRY_VERIFY_WITH_TIMEOUT(painted(screenshot = desktop->grab(box().id)), waitMs);
        saveArtifact(screenshot, "parlink-settings-not-stored.png");
        if (store == Store::FolderInItsPlace) {
            desktop->requestClose(box().id);
            expectNormalExit();
            return;
        }
        // A Parlink on its way out does not take a new start's request; the new start takes over once it has gone.
        ChildProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        startParlink(second);
        QTest::qWait(1000);
        QCOMPARE(::kill(pid_t(parlink.processId()), SIGTERM), 0);
        expectNormalExit();
        QTRY_VERIFY2_WITH_TIMEOUT(mainWindow(&second).id != 0, second.readAll().constData(), waitMs);
        endProcess(second);
        return;
    }
    expectNormalExit();
}

// Autostart and the menu both start Parlink: the second start shows the running one's window, as "Settings"
// does, and leaves without a tray icon of its own. A killed Parlink does not count as running.
void TrayDesktopTest::secondStartShowsTheRunningWindow()
{
    startTrayer();
    startParlink();
    QTRY_VERIFY_WITH_TIMEOUT(trayIcon().id != 0, waitMs);
    QCOMPARE(mainWindow().id, 0ul);

    ChildProcess second;
    second.setProcessChannelMode(QProcess::MergedChannels);
    startParlink(second);
    QVERIFY2(second.waitForFinished(waitMs), "the second start did not end");
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().id != 0, waitMs);
    QCOMPARE(parlinkWindows(true).count(), 2); // the window and the tray icon, nothing more

    // A request that comes in two pieces is answered all the same.
    QLocalSocket split;
    split.connectToServer(
        QDir(runtimeDir->path()).entryInfoList({"parlink-*.socket"}, QDir::System).value(0).filePath());
    QVERIFY(split.waitForConnected(waitMs) && split.write("sh") == 2 && split.waitForBytesWritten(waitMs));
    QTest::qWait(300);
    split.write("ow\n");
    QTRY_COMPARE_WITH_TIMEOUT(split.peek(16), QByteArray("shown\n"), waitMs);

    // Killed, it leaves its lock behind; that must not keep the next start from running.
    parlink.kill();
    QVERIFY(parlink.waitForFinished(waitMs));
    startParlink();
    QTRY_VERIFY_WITH_TIMEOUT(trayIcon().id != 0, waitMs);

    // On the way out the socket goes before the lock: a Parlink that takes the lock next keeps its socket.
    Removals removals(runtimeDir->path());
    chooseFromTrayMenu(quitEntry);
    expectNormalExit();
    const QStringList removed = removals.take();
    const auto position = [&](const char* suffix) {
        const auto found = std::find_if(removed.begin(), removed.end(),
                                        [&](const QString& name) { return name.endsWith(QLatin1String(suffix)); });
        return found == removed.end() ? -1 : int(found - removed.begin());
    };
    QVERIFY2(position(".socket") >= 0 && position(".socket") < position(".lock"), qPrintable(removed.join(' ')));
}

void TrayDesktopTest::secondStartAtTheEdges_data()
{
    // "{home}": the private home folder; "{display0}": the desktop's display written with a leading zero;
    // "{session}": the runtime folder a desktop session names; "{long}": a folder too long for a local socket.
    // What has no '=' in secondEnvironment is the second start's arguments; "{no folder in /tmp}" in
    // bothEnvironment: both see this user's folder in /tmp read-only.
    QTest::addColumn<QStringList>("bothEnvironment");
    QTest::addColumn<QStringList>("secondEnvironment");
    QTest::addColumn<FirstParlink>("first");
    QTest::addColumn<SecondStart>("expected");

    const QStringList none;
    // A settings path longer than a local socket's path may be.
    QTest::addRow("long settings path: shown")
        << QStringList{"XDG_CONFIG_HOME={home}/" + QString(120, QLatin1Char('c'))} << none << FirstParlink::Running
        << SecondStart::ShowsTheFirst;
    QTest::addRow("hung: said") << none << none << FirstParlink::Hung << SecondStart::SaysItDoesNotAnswer;
    QTest::addRow("dying: takes over") << none << none << FirstParlink::Dying << SecondStart::RunsItself;
    QTest::addRow("damaged lock left behind: runs")
        << none << none << FirstParlink::KilledLeavingADamagedLock << SecondStart::RunsItself;
    // Another machine with the same home folder: its own runtime folder, its own console and desktop.
    QTest::addRow("home shared with another machine: runs")
        << none << QStringList{"XDG_RUNTIME_DIR={home}/other-machine"} << FirstParlink::Running
        << SecondStart::RunsItself;
    QTest::addRow("same settings through a link: shown") << none << QStringList{"XDG_CONFIG_HOME={home}/config-link"}
                                                         << FirstParlink::Running << SecondStart::ShowsTheFirst;
    // No folder for the lock at all: nothing can tell that another one runs, and nothing keeps either from running.
    QTest::addRow("no folder for a lock: both run")
        << QStringList{"XDG_CONFIG_HOME={home}/file/config", "XDG_RUNTIME_DIR={home}/file", "{no folder in /tmp}"}
        << none << FirstParlink::Running << SecondStart::RunsItself;
    QTest::addRow("no folder of the user's own: beside the settings, shown")
        << QStringList{"XDG_RUNTIME_DIR={home}/file", "{no folder in /tmp}"} << none << FirstParlink::Running
        << SecondStart::ShowsTheFirst;
    QTest::addRow("the first had no folder of its own, the second has: shown")
        << QStringList{"XDG_RUNTIME_DIR={home}/file", "{no folder in /tmp}"}
        << QStringList{"XDG_RUNTIME_DIR={home}/other-machine"} << FirstParlink::Running << SecondStart::ShowsTheFirst;
    QTest::addRow("runtime folder too long for a socket: said")
        << QStringList{"XDG_RUNTIME_DIR={long}", "{no folder in /tmp}"} << none << FirstParlink::Running
        << SecondStart::SaysItCannotAsk;
    // A start from a terminal of another login has no XDG_RUNTIME_DIR, or a temporary folder of its own.
    QTest::addRow("no runtime folder named: the session's, shown")
        << QStringList{"XDG_RUNTIME_DIR={session}"} << QStringList{"XDG_RUNTIME_DIR=", "TMPDIR={home}/other-machine"}
        << FirstParlink::Running << SecondStart::ShowsTheFirst;
    QTest::addRow("no runtime folder, another TMPDIR: shown")
        << QStringList{"XDG_RUNTIME_DIR="} << QStringList{"TMPDIR={home}/other-machine"} << FirstParlink::Running
        << SecondStart::ShowsTheFirst;
    QTest::addRow("-display with a leading zero names the desktop: shown")
        << none << QStringList{"DISPLAY=", "-display", "{display0}.0"} << FirstParlink::Running
        << SecondStart::ShowsTheFirst;
    // Within the 5 s the README promises.
    QTest::addRow("answers after 3 s: shown")
        << none << none << FirstParlink::SlowToAnswer << SecondStart::ShowsTheFirst;
    QTest::addRow("the version before runs: shown")
        << none << none << FirstParlink::EarlierVersion << SecondStart::ShowsTheFirst;
    QTest::addRow("the version before runs, not listening: said")
        << none << none << FirstParlink::EarlierVersionNotListening << SecondStart::SaysItDoesNotAnswer;
    QTest::addRow("the version before's lock from another machine: shown")
        << none << none << FirstParlink::EarlierVersionOnAnotherMachine << SecondStart::ShowsTheFirst;
    QTest::addRow("the version before's lock from a machine of the same name: shown")
        << none << none << FirstParlink::EarlierVersionOnATwin << SecondStart::ShowsTheFirst;
    QTest::addRow("the version before's lock from a copy of this system: shown")
        << none << none << FirstParlink::EarlierVersionOnACopy << SecondStart::ShowsTheFirst;
    QTest::addRow("the version before's lock damaged: shown")
        << none << none << FirstParlink::EarlierVersionDamagedLock << SecondStart::ShowsTheFirst;
    QTest::addRow("another machine's Parlink beside the settings, a folder of its own here: runs")
        << QStringList{"XDG_RUNTIME_DIR={home}/file", "{no folder in /tmp}"}
        << QStringList{"XDG_RUNTIME_DIR={home}/other-machine"} << FirstParlink::OnAnotherMachine
        << SecondStart::RunsItself;
    QTest::addRow("another machine's Parlink beside the settings, no folder here either: runs")
        << QStringList{"XDG_RUNTIME_DIR={home}/file", "{no folder in /tmp}"} << none << FirstParlink::OnAnotherMachine
        << SecondStart::RunsItself;
    QTest::addRow("a machine of the same name's Parlink beside the settings, no folder here either: runs")
        << QStringList{"XDG_RUNTIME_DIR={home}/file", "{no folder in /tmp}"} << none << FirstParlink::OnATwin
        << SecondStart::RunsItself;
    QTest::addRow("a runtime folder others may write holds nothing: shown")
        << QStringList{"XDG_RUNTIME_DIR={home}/open"} << none << FirstParlink::Running << SecondStart::ShowsTheFirst;
}

// However the first Parlink is, a second start ends soon and honestly, or becomes the Parlink itself.
void TrayDesktopTest::secondStartAtTheEdges()
{
    QFETCH(QStringList, bothEnvironment);
    QFETCH(QStringList, secondEnvironment);
    QFETCH(FirstParlink, first);
    QFETCH(SecondStart, expected);

    // A desktop session's runtime folder, made as the session would where this user has none.
    const QString session = QStringLiteral("/run/user/") + QString::number(::geteuid());
    const bool madeSession = bothEnvironment.contains("XDG_RUNTIME_DIR={session}") && QDir().mkdir(session) &&
                             QFile::setPermissions(session, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto removeSession = qScopeGuard([&] {
        if (madeSession) {
            endProcess(parlink);
            QDir(session).removeRecursively();
        }
    });
    const QString longFolder = home->filePath(QString(100, QLatin1Char('r')));
    const QStringList names = {"{home}", "{display0}", "{session}", "{long}"};
    const QStringList values = {home->path(), ":0" + QString::fromLatin1(server->display()).mid(1), session,
                                longFolder};
    for (int i = 0; i < names.size(); ++i) {
        bothEnvironment.replaceInStrings(names[i], values[i]);
        secondEnvironment.replaceInStrings(names[i], values[i]);
    }
    QFile file(home->filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(QDir(home->path()).mkpath(QStringLiteral("other-machine")));
    QVERIFY(QDir(home->path()).mkpath(QStringLiteral(".config")));
    QVERIFY(QFile::link(home->filePath(QStringLiteral(".config")), home->filePath(QStringLiteral("config-link"))));
    QFile::setPermissions(home->filePath(QStringLiteral("other-machine")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QDir().mkpath(longFolder) &&
            QFile::setPermissions(longFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString open = home->filePath(QStringLiteral("open"));
    QVERIFY(QDir().mkpath(open) && ::chmod(QFile::encodeName(open).constData(), 0777) == 0);
    startTrayer();
    if (bothEnvironment.removeAll(QStringLiteral("{no folder in /tmp}")) > 0) {
        const QString folderInTmp = QStringLiteral("/tmp/parlink-") + QString::number(::geteuid());
        QVERIFY(::mkdir(QFile::encodeName(folderInTmp).constData(), S_IRWXU) == 0 || errno == EEXIST);
        mountPrivately(noFolderInTmp);
    }
    environmentChanges = bothEnvironment;
    // The version before kept its lock and socket beside the settings; the one started above changes nothing.
    const QString earlierVersionFolder = home->filePath(QStringLiteral(".config/Orvanta"));
    QLockFile earlierLock(earlierVersionFolder + QStringLiteral("/Parlink.lock"));
    QLocalServer earlierServer;
    const QString mounts = privateMounts;
    // A twin's id in place of this machine's, for a Parlink started as the twin.
    const QString twinId = home->filePath(QStringLiteral("twin-id"));
    QFile twin(twinId);
    QVERIFY(first != FirstParlink::OnATwin || (twin.open(QIODevice::WriteOnly) && twin.write(twinMachineId) > 0));
    twin.close();
    const QString otherMachine =
        first == FirstParlink::OnAnotherMachine
            ? QStringLiteral("hostname other-machine")
            : QStringLiteral("for id in /etc/machine-id /var/lib/dbus/machine-id; do [ ! -e $id ] || mount --bind %1 "
                             "$id || exit 1; done")
                  .arg(twinId);
    if (first == FirstParlink::OnAnotherMachine || first == FirstParlink::OnATwin)
        mountPrivately((mounts.isEmpty() ? QString() : mounts + " && ") + otherMachine);
    startParlink();
    QTRY_VERIFY_WITH_TIMEOUT(trayIcon().id != 0, waitMs);
    privateMounts = mounts;
    QVERIFY(QDir(open).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
    if (first == FirstParlink::OnAnotherMachine || first == FirstParlink::OnATwin) {
        for (const QFileInfo& socket : QDir(earlierVersionFolder).entryInfoList({"parlink-*.socket"}, QDir::System))
            QVERIFY(QFile::remove(socket.filePath()));
    }
    if (first == FirstParlink::EarlierVersionOnAnotherMachine || first == FirstParlink::EarlierVersionOnATwin ||
        first == FirstParlink::EarlierVersionOnACopy || first == FirstParlink::EarlierVersionDamagedLock) {
        QFile lock(earlierVersionFolder + QStringLiteral("/Parlink.lock"));
        QVERIFY(QDir().mkpath(earlierVersionFolder) && lock.open(QIODevice::WriteOnly));
        // Another machine's names that machine, and a process that runs here too; a damaged one is empty, and old.
        // A twin has this machine's host name and an id of its own; a copy has this machine's id, and a process that
        // runs there only.
        const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
        const QMap<FirstParlink, QByteArray> written{
            {FirstParlink::EarlierVersionOnAnotherMachine, pid + "\nparlink\nother-machine\n"},
            {FirstParlink::EarlierVersionOnATwin,
             pid + "\nparlink\n" + QSysInfo::machineHostName().toUtf8() + '\n' + twinMachineId},
            {FirstParlink::EarlierVersionOnACopy,
             "2147483647\nparlink\nother-machine\n" + QSysInfo::machineUniqueId() + '\n'}};
        QVERIFY(
            first != FirstParlink::EarlierVersionDamagedLock
                ? lock.write(written.value(first)) > 0
                : lock.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-60), QFileDevice::FileModificationTime));
    }
    // Locks beside the settings stay: another machine's are not this one's to remove.
    const QStringList locks = QDir(earlierVersionFolder).entryList({"*.lock"}, QDir::Files);
    const auto locksStay = qScopeGuard([&] {
        for (const QString& lock : locks)
            QVERIFY(QFileInfo::exists(QDir(earlierVersionFolder).filePath(lock)));
    });
    const bool earlier = first == FirstParlink::EarlierVersion || first == FirstParlink::EarlierVersionNotListening;
    if (earlier)
        QVERIFY(
            QDir().mkpath(earlierVersionFolder) && earlierLock.tryLock(0) &&
            (first != FirstParlink::EarlierVersion || earlierServer.listen(earlierVersionFolder + "/Parlink.socket")));
    if (first == FirstParlink::Hung || first == FirstParlink::Dying || first == FirstParlink::SlowToAnswer)
        QCOMPARE(::kill(pid_t(parlink.processId()), SIGSTOP), 0);
    if (first == FirstParlink::SlowToAnswer)
        QTimer::singleShot(3000, this, [this] { ::kill(pid_t(parlink.processId()), SIGCONT); });
    if (first == FirstParlink::KilledLeavingADamagedLock) {
        parlink.kill();
        QVERIFY(parlink.waitForFinished(waitMs));
        const QStringList locks = QDir(runtimeDir->path()).entryList({QStringLiteral("parlink-*.lock")});
        QCOMPARE(locks.size(), 1);
        QFile lock(runtimeDir->filePath(locks.first()));
        QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-60), QFileDevice::FileModificationTime));
    }

    ChildProcess second;
    second.setProcessChannelMode(QProcess::MergedChannels);
    environmentChanges += secondEnvironment.filter(QStringLiteral("="));
    startParlink(second, QString(), secondEnvironment.filter(QRegularExpression(QStringLiteral("^[^=]*$"))));
    if (first == FirstParlink::Dying) {
        QTest::qWait(500); // the second start is waiting for an answer by now
        parlink.kill();
    }
    if (expected == SecondStart::RunsItself) {
        QTRY_VERIFY2_WITH_TIMEOUT(trayIcon(&second).id != 0, second.readAll().constData(), waitMs);
        second.terminate();
        QVERIFY(second.waitForFinished(waitMs));
        QCOMPARE(second.exitCode(), 0);
        return;
    }
    // The event loop runs meanwhile: a first Parlink that is slow to answer goes on from it.
    QTRY_VERIFY2_WITH_TIMEOUT(second.state() == QProcess::NotRunning, "the second start did not end", waitMs);
    const QByteArray said = second.readAll();
    if (expected != SecondStart::ShowsTheFirst) {
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(said.contains(expected == SecondStart::SaysItCannotAsk
                                   ? "is too long for a local socket"
                                   : "Parlink is already running for this user but does not answer"),
                 said.constData());
        return;
    }
    QCOMPARE(second.exitCode(), 0);
    if (!earlier) {
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow().id != 0, waitMs);
        return;
    }
    QVERIFY(earlierServer.waitForNewConnection(waitMs));
    QLocalSocket* request = earlierServer.nextPendingConnection();
    QTRY_COMPARE_WITH_TIMEOUT(request->peek(64), QByteArray("show\n"), waitMs);
}

// Each desktop of a user has a Parlink of its own; the screen of a display is the same desktop.
void TrayDesktopTest::onePerDesktop()
{
    // Wherever the lock is: in a folder of the user's own, or beside the settings where there is none.
    for (const bool lastResort : {false, true}) {
        const auto lockFor = [lastResort](const char* desktop) {
            const InstanceLocation location = instanceLocation(QLatin1String(desktop));
            return lastResort ? location.lastResortLockFile : location.lockFile;
        };
        QCOMPARE(lockFor(":7.0"), lockFor(":7"));
        QCOMPARE(lockFor("unix:7"), lockFor(":7"));
        QCOMPARE(lockFor(":007.1"), lockFor(":7"));
        QVERIFY(lockFor(":7") != lockFor(":8"));
    }
}

// Without a usable runtime folder the lock goes to a folder of the user's own in the temporary folder, never to
// one that someone else made there first.
void TrayDesktopTest::lockFolderIsTheUsersOwn()
{
    QTemporaryDir temporary;
    const QString own = temporary.filePath(QStringLiteral("parlink-") + QString::number(::geteuid()));
    QCOMPARE(privateFolderIn(temporary.path()), own);
    QVERIFY(QDir(own).removeRecursively() && QDir().mkdir(own));
    QCOMPARE(::chown(QFile::encodeName(own).constData(), 65534, 65534), 0);
    QCOMPARE(privateFolderIn(temporary.path()), QString());
    // Nor through a link planted there, to a folder of the user's own that is private already (made 0700).
    QVERIFY(QDir(own).removeRecursively() && QFile::link(temporary.path(), own));
    QCOMPARE(privateFolderIn(temporary.path()), QString());
}

QTEST_GUILESS_MAIN(TrayDesktopTest)

#include "tst_traydesktop.moc"
