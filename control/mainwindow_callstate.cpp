// The softphone's call states, as status datagrams, drive the call state and the console's two LEDs.
#include "ui/mainwindow.h"

#include "console/chidvoip.h"
#include "session/problemnotices.h"
#include "ui_mainwindow.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

namespace {

constexpr int blinkIntervalMs = 200;
// A flood of datagrams is taken in turns of this many; the socket calls again for the rest, and the blink timer
// and the console's poll keep their time in between.
constexpr int datagramsPerTurn = 64;

// One phase for the whole process: a new incoming call goes on blinking where the last one stopped.
bool blinkPhase = false;

// The payload up to its first zero byte: softphones that send C strings with their terminator still count.
QString datagramText(const QByteArray& payload)
{
    const auto end = payload.indexOf('\0');
    return QString::fromUtf8(end < 0 ? payload : payload.left(end));
}

bool isCallState(const QString& text)
{
    return text == QLatin1String("-s incoming") || text == QLatin1String("-s connected") ||
           text == QLatin1String("-s disconnected");
}

// A softphone set up to send call states to a Parlink left in its first-run mode: nothing happens, so say where to
// change it, once per start.
const QLatin1String callStatesIgnored("Parlink: call states from the softphone arrive, but the Connect LED is set to "
                                      "\"Internal state\", so they are ignored; choose \"Remote Controlled UDP\" under "
                                      "\"Connect LED\" in the Settings window");

} // namespace

bool MainWindow::remoteMode() const
{
    return ui->radioButton_conn_led_remote->isChecked();
}

void MainWindow::onReadyRead()
{
    for (int taken = 0; taken < datagramsPerTurn && udpSocket->hasPendingDatagrams(); ++taken) {
        const QString text = datagramText(udpSocket->receiveDatagram(-1).data());
        if (!remoteMode()) {
            if (isCallState(text) && notices->setProblem(ProblemNotices::CallStatesIgnored, true, callStatesIgnored))
                qWarning("%s", callStatesIgnored.data());
            continue;
        }
        if (text == QLatin1String("-s incoming")) {
            qDebug("INCOMING>> ");
            callState = CallIncoming;
            blinkTimer->start(blinkIntervalMs);
        } else if (text == QLatin1String("-s connected")) {
            callState = CallConnected;
            blinkTimer->stop();
            hidVoip->setIncomingLed(false);
            showConnectLed(true);
        }
        if (text == QLatin1String("-s disconnected")) {
            callState = CallIdle;
            blinkTimer->stop();
            hidVoip->setIncomingLed(false);
            showConnectLed(false);
        }
    }
}

void MainWindow::timeout()
{
    if (!hidVoip->isConnected())
        return;
    hidVoip->setIncomingLed(blinkPhase);
    blinkPhase = !blinkPhase;
}

// A console that was just plugged in or chosen, or one whose LEDs a killed Parlink left lit, shows what the LEDs
// showed before: the connect LED as last set, not as the call state would have it (in internal mode with "Hang up"
// clear the LED outlasts the call). While a call is incoming the blink ticks take the incoming LED over.
void MainWindow::showCallStateOnConsole()
{
    hidVoip->setIncomingLed(false);
    hidVoip->setConnectLed(connectLedLit);
}

void MainWindow::showConnectLed(bool lit)
{
    connectLedLit = lit;
    hidVoip->setConnectLed(lit);
}

void MainWindow::on_radioButton_conn_led_internal_toggled(bool)
{
    blinkTimer->stop();
    showConnectLed(false);
    hidVoip->setIncomingLed(false);
    callState = CallIdle;
}
