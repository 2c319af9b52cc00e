#include "console/chidvoip.h"

#include "console/consoleworker.h"
#include "console/readinterrupt.h"

#include <QDebug>
#include <QTimer>

#include <hidapi.h>

namespace {

constexpr unsigned short consoleVendorId = 0x0D8C;
constexpr unsigned short consoleProductId = 0x0013;
constexpr int connectIntervalMs = 2000;
constexpr quint8 switchBit = 0x01;
// Model 2's switch counts both movements; every other model only the movement to level 0.
constexpr qint32 bothEdgesModel = 2;

// Models up to 2 have separate incoming (bit 1) and connect (bit 2) LEDs; the others share bit 1.
// A negative model compares as a large unsigned number and so gets the shared LED.
bool hasSeparateLeds(qint32 model)
{
    return static_cast<quint32>(model) <= 2;
}

// Only Linux guards the device node with a rule of ours; elsewhere a refusal means the console is taken. The rule
// comes with the package, or from scripts/run for a build from source; the user guide covers a user not at the seat.
#ifdef Q_OS_LINUX
constexpr const char* refusedConsoleAdvice =
    "your user needs its udev rule 70-parlink.rules: the Debian package installs it (then replug the console), "
    "scripts/run as root or through sudo does for a build from source; more under Troubleshooting in the user guide";
#else
constexpr const char* refusedConsoleAdvice = "another program may be using it";
#endif

bool consolePresent()
{
    hid_device_info* found = hid_enumerate(consoleVendorId, consoleProductId);
    hid_free_enumeration(found);
    return found != nullptr;
}

} // namespace

CHidVoip::CHidVoip(QObject* parent)
    : QObject(parent), worker(nullptr), ioState(0x01), consoleModel(0), openRefused(false), refusedAtLastTry(false)
{
    ReadInterrupt::install();
    connectTimer = new QTimer(this);
    connect(connectTimer, SIGNAL(timeout()), this, SLOT(hidConnectTimer()));
    connectTimer->start(connectIntervalMs);
}

CHidVoip::~CHidVoip()
{
    // Nothing is left lit once no Parlink is running: the incoming LED may be mid-blink.
    setIncomingLed(false);
    setConnectLed(false);
    closeDevice();
    hid_exit();
}

bool CHidVoip::isConnected() const
{
    return worker != nullptr;
}

void CHidVoip::setConnectLed(bool on)
{
    setOutputBit(hasSeparateLeds(consoleModel) ? 2 : 1, on);
}

void CHidVoip::setIncomingLed(bool on)
{
    if (hasSeparateLeds(consoleModel))
        setOutputBit(1, on);
    else
        setConnectLed(on);
}

void CHidVoip::setOutputBit(int bit, bool on)
{
    const auto mask = static_cast<quint8>(1u << bit);
    ioState = on ? (ioState | mask) : (ioState & ~mask);
    if (worker)
        worker->write({0x00, 0x00, static_cast<unsigned char>(ioState | switchBit), 0x07, 0x00});
}

void CHidVoip::onConsoleChanged(int console)
{
    qDebug("onConsoleChanged");
    setIncomingLed(false);
    setConnectLed(false);
    consoleModel = console;
}

void CHidVoip::hidConnectTimer()
{
    if (worker)
        return;
    hid_device* device = hid_open(consoleVendorId, consoleProductId, nullptr);
    if (!device) {
        // Just after a plug-in the node may be there a moment before udev gives the user access to it: a refusal
        // counts once two tries running met it.
        const bool refusedNow = consolePresent();
        setOpenRefused(refusedNow && refusedAtLastTry);
        refusedAtLastTry = refusedNow;
        return;
    }
    refusedAtLastTry = false;
    setOpenRefused(false);
    // An open console needs no looking for until it is lost.
    connectTimer->stop();
    worker = new ConsoleWorker(device, this);
    connect(worker, SIGNAL(reportRead(int)), this, SLOT(hidReportRead(int)), Qt::QueuedConnection);
    connect(worker, SIGNAL(readFailed()), this, SLOT(hidReadFailed()), Qt::QueuedConnection);
    worker->start();
    emit opened();
}

void CHidVoip::setOpenRefused(bool refused)
{
    if (refused == openRefused)
        return;
    openRefused = refused;
    const QString warning = QStringLiteral("Parlink: the mixing console is plugged in but cannot be opened; %1.")
                                .arg(QLatin1String(refusedConsoleAdvice));
    if (refused)
        qWarning("%s", qPrintable(warning));
    emit refusalChanged(refused, warning);
}

void CHidVoip::hidReportRead(int report)
{
    // Reports of a console closed since they were read belong to no open console.
    if (!worker)
        return;
    const auto level = static_cast<quint8>(report);
    if ((level & switchBit) != (ioState & switchBit) && (!(level & switchBit) || consoleModel == bothEdgesModel))
        emit connect_clicked();
    ioState = level;
    // Whatever the click did, even closing the console, the worker in place now may go on.
    if (worker)
        worker->reportTaken();
}

void CHidVoip::hidReadFailed()
{
    if (!worker)
        return;
    closeDevice();
    hid_exit();
    connectTimer->start(connectIntervalMs);
}

// The worker writes what it was asked to, then closes the device before it ends.
void CHidVoip::closeDevice()
{
    delete worker;
    worker = nullptr;
}
