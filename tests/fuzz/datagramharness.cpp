#include "datagramharness.h"

#include "app/applicationidentity.h"
#include "callstatemodel.h"
#include "consoleinput.h"
#include "console/chidvoip.h"
#include "fakehid.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr char separator = '\x1e';
constexpr int maxDatagrams = 16;
constexpr int maxPayload = 65507;
// Datagrams pending at once stay well inside the socket's default receive buffer.
constexpr int maxPendingBytes = 60000;
constexpr int waitMs = 5000;

struct Scene
{
    bool remote;
    int stateBefore;
    bool consoleOpen;
    int consoleModel;
    bool tick;
};

Scene sceneOf(std::uint8_t byte)
{
    const int model = (byte >> 4) & 0x07;
    return {(byte & 0x01) != 0, (byte >> 1) & 0x03, (byte & 0x08) != 0, model <= 4 ? model : -1, (byte & 0x80) != 0};
}

QList<QByteArray> datagramsOf(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QList<QByteArray> datagrams;
    int start = 0;
    while (datagrams.size() < maxDatagrams - 1) {
        const int end = bytes.indexOf(separator, start);
        if (end < 0)
            break;
        datagrams.append(bytes.mid(start, end - start));
        start = end + 1;
    }
    datagrams.append(bytes.mid(start));
    for (QByteArray& datagram : datagrams)
        datagram.truncate(maxPayload);
    return datagrams;
}

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "datagram harness: %s\n", qPrintable(what));
    std::fflush(stderr);
    std::abort();
}

void check(bool good, const char* what)
{
    if (!good)
        fail(QString::fromUtf8(what));
}

QString listText(const QList<int>& values)
{
    QStringList parts;
    for (int value : values)
        parts.append(QString::number(value, 16));
    return parts.join(QLatin1Char(' '));
}

QStringList debugLines;
QStringList warningLines;

// Call states in internal mode are said once per start, in a box the offscreen platform cannot size.
bool expectedWarning(const QString& message)
{
    return message.startsWith(QLatin1String("Parlink: call states from the softphone arrive")) ||
           message == QLatin1String("This plugin does not support propagateSizeHints()");
}

void collectMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg)
        debugLines.append(message);
    else if (type != QtInfoMsg && !expectedWarning(message))
        warningLines.append(message);
}

class Harness
{
public:
    explicit Harness(const QTemporaryDir& settingsHome);
    void run(const Scene& scene, const QList<QByteArray>& datagrams);

private:
    QAbstractButton* button(const char* name) const;
    void setConsoleOpen(bool open);
    void setRemoteModeAfresh(bool remote);
    void deliver(const QList<QByteArray>& datagrams, CallStateModel& model);
    void readPending();
    void tick(CallStateModel& model);
    void compare(const Scene& scene, const CallStateModel& model);
    QList<int> takeLedReports();

    std::unique_ptr<QApplication> app;
    std::unique_ptr<MainWindow> window;
    CHidVoip* link = nullptr;
    QTimer* blinkTimer = nullptr;
    QUdpSocket* statusSocket = nullptr;
    std::unique_ptr<QUdpSocket> sender;
    std::unique_ptr<QUdpSocket> sync;
    bool blinkPhase = false;
};

Harness::Harness(const QTemporaryDir& settingsHome)
{
    // The window reads its settings while it is built: from a folder of its own, never the user's.
    qputenv("XDG_CONFIG_HOME", settingsHome.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "parlink-fuzz";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    setApplicationIdentity();
    qInstallMessageHandler(collectMessages);
    window = std::make_unique<MainWindow>();
    link = window->findChild<CHidVoip*>();
    blinkTimer = window->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    statusSocket = window->findChild<QUdpSocket*>();
    check(link && blinkTimer && statusSocket, "the window lacks its console link, blink timer or socket");
    if (statusSocket->state() != QAbstractSocket::BoundState)
        fail("the window could not bind port 6123; run inside tests/support/in-netns");
    sender = std::make_unique<QUdpSocket>();
    sync = std::make_unique<QUdpSocket>();
    check(sync->bind(QHostAddress(QHostAddress::LocalHost)), "cannot bind the sync socket");
    // Keys are not the subject here; with both combinations off the switch only shows the call state.
    button("chk_connect")->setChecked(false);
    button("chk_hangup")->setChecked(false);
}

QAbstractButton* Harness::button(const char* name) const
{
    return window->findChild<QAbstractButton*>(QLatin1String(name));
}

void Harness::setConsoleOpen(bool open)
{
    if (link->isConnected() && !open) {
        // A lost console: the waiting read gives -1 and the link closes it.
        fakehid::unplug();
        takeConsoleInput(*link);
    } else if (!link->isConnected() && open) {
        fakehid::plug();
        QMetaObject::invokeMethod(link, "hidConnectTimer");
    }
    check(link->isConnected() == open, "the console link did not follow the console");
}

void Harness::setRemoteModeAfresh(bool remote)
{
    // Two changes of the Connect LED mode: whatever the last input left, the call starts from Idle.
    button(remote ? "radioButton_conn_led_internal" : "radioButton_conn_led_remote")->setChecked(true);
    button(remote ? "radioButton_conn_led_remote" : "radioButton_conn_led_internal")->setChecked(true);
}

void Harness::run(const Scene& scene, const QList<QByteArray>& datagrams)
{
    setConsoleOpen(scene.consoleOpen);
    window->findChild<QComboBox*>(QStringLiteral("comboBox_console"))->setCurrentIndex(scene.consoleModel);
    setRemoteModeAfresh(scene.remote);
    const QList<int> afterReset = takeLedReports();
    check(!scene.consoleOpen || (!afterReset.isEmpty() && afterReset.last() == 0x01),
          "both LEDs should be off after a change of the Connect LED mode");

    CallStateModel model(scene.remote, scene.consoleOpen, scene.consoleModel);
    if (scene.remote) {
        static const QList<QByteArray> before[] = {
            {}, {"-s incoming"}, {"-s connected"}, {"-s connected", "-s incoming"}};
        deliver(before[scene.stateBefore], model);
    } else if (scene.stateBefore != 0 && scene.consoleOpen) {
        QMetaObject::invokeMethod(window.get(), "connect_clicked");
    }
    takeLedReports();
    debugLines.clear();
    warningLines.clear();
    model.clearObservations();

    deliver(datagrams, model);
    if (scene.tick)
        tick(model);
    compare(scene, model);
}

void Harness::deliver(const QList<QByteArray>& datagrams, CallStateModel& model)
{
    int pendingBytes = 0;
    for (const QByteArray& datagram : datagrams) {
        if (pendingBytes + datagram.size() > maxPendingBytes) {
            readPending();
            pendingBytes = 0;
        }
        check(sender->writeDatagram(datagram, QHostAddress::LocalHost, 6123) == datagram.size(),
              "cannot send a datagram over loopback");
        pendingBytes += datagram.size();
        model.receive(datagram);
    }
    readPending();
}

void Harness::readPending()
{
    // Loopback keeps the order of one sender's datagrams: once the marker is at the sync socket, everything
    // sent before it is at the window's socket.
    sender->writeDatagram(QByteArray("sync"), sync->localAddress(), sync->localPort());
    check(sync->hasPendingDatagrams() || sync->waitForReadyRead(waitMs), "the sync marker did not arrive");
    sync->receiveDatagram();
    if (statusSocket->hasPendingDatagrams())
        QMetaObject::invokeMethod(window.get(), "onReadyRead");
    check(!statusSocket->hasPendingDatagrams(), "onReadyRead left datagrams unread");
}

void Harness::tick(CallStateModel& model)
{
    QMetaObject::invokeMethod(window.get(), "timeout");
    blinkPhase = model.tick(blinkPhase);
}

void Harness::compare(const Scene& scene, const CallStateModel& model)
{
    if (!warningLines.isEmpty())
        fail(QStringLiteral("unexpected warning: ") + warningLines.first());
    if (debugLines.size() != model.incomingLines() ||
        debugLines.count(QStringLiteral("INCOMING>> ")) != debugLines.size())
        fail(QStringLiteral("debug lines %1, expected %2 of \"INCOMING>> \"")
                 .arg(debugLines.join(QLatin1Char('|')))
                 .arg(model.incomingLines()));
    check(blinkTimer->isActive() == model.blinking(), "the blink timer runs when it should not, or not when it should");
    check(!blinkTimer->isActive() || blinkTimer->interval() == 200, "the blink timer's interval is not 200 ms");
    const QList<int> reports = takeLedReports();
    const QList<int> expected = model.reports();
    // Element by element: Qt 6.4's own list comparison hands memcmp a null pointer when both lists are empty.
    if (reports.size() != expected.size() || !std::equal(reports.begin(), reports.end(), expected.begin()))
        fail(QStringLiteral("output reports %1, expected %2").arg(listText(reports), listText(model.reports())));
    if (!scene.remote || !scene.consoleOpen)
        return;
    // In remote mode the switch only reads the call state: its debug line tells which one it found.
    debugLines.clear();
    QMetaObject::invokeMethod(window.get(), "connect_clicked");
    static const QStringList seen[] = {{}, {QStringLiteral("answer noww... ")}, {QStringLiteral("hangup now... ")}};
    check(debugLines == seen[model.state()], "the call state differs from the last status received");
    check(takeLedReports().isEmpty(), "the switch wrote to the console in remote mode");
}

QList<int> Harness::takeLedReports()
{
    QList<int> bytes;
    for (const fakehid::OutputReport& report : fakehid::outputs())
        bytes.append(report.bytes.at(2));
    fakehid::clearOutputs();
    return bytes;
}

Harness& theHarness()
{
    static QTemporaryDir settingsHome;
    // Never destroyed: at exit the simulated console may already be gone, and the window would still write to it.
    static Harness* harness = new Harness(settingsHome);
    return *harness;
}

} // namespace

void startDatagramHarness()
{
    theHarness();
}

int runDatagramInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0)
        theHarness().run(sceneOf(data[0]), datagramsOf(data + 1, size - 1));
    return 0;
}
