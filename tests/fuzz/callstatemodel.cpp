#include "callstatemodel.h"

namespace {

constexpr int idle = 0;
constexpr int incoming = 1;
constexpr int connected = 2;
constexpr int switchLevel = 0x01;

} // namespace

StatusWord statusWordOf(const QByteArray& payload)
{
    QByteArray text = payload.left(payload.indexOf('\0') < 0 ? payload.size() : payload.indexOf('\0'));
    // The toolkit's UTF-8 decoder reads a leading byte-order mark as a signature, not as text. Any other
    // byte that is not plain ASCII cannot decode to one of the three texts.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    if (text == "-s incoming")
        return StatusWord::Incoming;
    if (text == "-s connected")
        return StatusWord::Connected;
    if (text == "-s disconnected")
        return StatusWord::Disconnected;
    return StatusWord::None;
}

CallStateModel::CallStateModel(bool remote, bool consoleOpen, int consoleModel)
    : remote(remote), consoleOpen(consoleOpen), separateLeds(consoleModel >= 0 && consoleModel <= 2)
{
}

void CallStateModel::receive(const QByteArray& payload)
{
    if (!remote)
        return;
    switch (statusWordOf(payload)) {
    case StatusWord::Incoming:
        ++incomingCount;
        callState = incoming;
        blinkRunning = true;
        break;
    case StatusWord::Connected:
        callState = connected;
        blinkRunning = false;
        setIncomingLed(false);
        setConnectLed(true);
        break;
    case StatusWord::Disconnected:
        callState = idle;
        blinkRunning = false;
        setIncomingLed(false);
        setConnectLed(false);
        break;
    case StatusWord::None:
        break;
    }
}

bool CallStateModel::tick(bool phase)
{
    if (!consoleOpen)
        return phase;
    setIncomingLed(phase);
    return !phase;
}

void CallStateModel::clearObservations()
{
    incomingCount = 0;
    ledReports.clear();
}

void CallStateModel::setConnectLed(bool on)
{
    setLedBit(separateLeds ? 2 : 1, on);
}

void CallStateModel::setIncomingLed(bool on)
{
    setLedBit(1, on);
}

void CallStateModel::setLedBit(int bit, bool on)
{
    ledImage = on ? (ledImage | (1 << bit)) : (ledImage & ~(1 << bit));
    if (consoleOpen)
        ledReports.append(ledImage | switchLevel);
}
