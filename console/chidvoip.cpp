#include "console/chidvoip.h"

#include <QDebug>
#include <QTimer>

#include <hidapi.h>

namespace {

constexpr unsigned short consoleVendorId = 0x0D8C;
constexpr unsigned short consoleProductId = 0x0013;
constexpr int connectIntervalMs = 2000;
constexpr int pollIntervalMs = 10;
constexpr size_t inputBufferSize = 5;
constexpr int inputReportSize = 4;
constexpr quint8 switchBit = 0x01;
// Model 2's switch counts both movements; every other model only the movement to level 0.
constexpr qint32 bothEdgesModel = 2;

// Models up to 2 have separate incoming (bit 1) and connect (bit 2) LEDs; the others share bit 1.
// A negative model compares as a large unsigned number and so gets the shared LED.
bool hasSeparateLeds(qint32 model)
{
    return static_cast<quint32>(model) <= 2;
}

// Only Linux guards the device node with a rule of ours; elsewhere a refusal means the console is taken.
#ifdef Q_OS_LINUX
constexpr const char* refusedConsoleAdvice =
    "install the udev rule 70-parlink.rules (see README) so that your user may use it";
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
    : QObject(parent), device(nullptr), ioState(0x01), consoleModel(0), openRefused(false)
{
    readerTimer = new QTimer(this);
    connectTimer = new QTimer(this);
    connect(connectTimer, SIGNAL(timeout()), this, SLOT(hidConnectTimer()));
    connect(readerTimer, SIGNAL(timeout()), this, SLOT(hidReaderTimer()));
    connectTimer->start(connectIntervalMs);
}

CHidVoip::~CHidVoip()
{
    readerTimer->stop();
    // Nothing is left lit once no Parlink is running: the incoming LED may be mid-blink.
    setIncomingLed(false);
    setConnectLed(false);
    if (device)
        hid_close(device);
    hid_exit();
    device = nullptr;
}

bool CHidVoip::isConnected() const
{
    return device != nullptr;
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
    const unsigned char report[5] = {0x00, 0x00, static_cast<unsigned char>(ioState | switchBit), 0x07, 0x00};
    if (device)
        hid_write(device, report, sizeof report);
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
    if (readerTimer->isActive())
        return;
    device = hid_open(consoleVendorId, consoleProductId, nullptr);
    if (!device) {
        setOpenRefused(consolePresent());
        return;
    }
    setOpenRefused(false);
    hid_set_nonblocking(device, 1);
    readerTimer->start(pollIntervalMs);
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

void CHidVoip::hidReaderTimer()
{
    unsigned char buffer[inputBufferSize] = {};
    const int length = hid_read(device, buffer, inputBufferSize);
    if (length == inputReportSize) {
        const quint8 level = buffer[1];
        if ((level & switchBit) != (ioState & switchBit) && (!(level & switchBit) || consoleModel == bothEdgesModel))
            emit connect_clicked();
        ioState = level;
    } else if (length == -1 && readerTimer->isActive()) {
        readerTimer->stop();
        hid_close(device);
        hid_exit();
        device = nullptr;
    }
}
