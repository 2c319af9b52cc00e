// The console's connect switch answers or hangs up by sending the softphone's own hot-keys.
#include "ui/mainwindow.h"

#include "console/chidvoip.h"
#include "control/keysender.h"
#include "control/keytable.h"
#include "ui_mainwindow.h"

void MainWindow::connect_clicked()
{
    if (!hidVoip->isConnected())
        return;
    if (!remoteMode()) {
        // Internal mode: the switch itself keeps the in-call flag.
        if (callState != CallIdle) {
            if (ui->chk_hangup->isChecked()) {
                processKeystroke(ui->hangup_1, ui->hangup_2, ui->hangup_3);
                hidVoip->setConnectLed(false);
            }
        } else if (ui->chk_connect->isChecked()) {
            processKeystroke(ui->connect_1, ui->connect_2, ui->connect_3);
            hidVoip->setConnectLed(true);
        }
        callState = callState == CallIdle ? 1 : 0;
        return;
    }
    if (callState == CallIncoming) {
        qDebug("answer noww... ");
        if (ui->chk_connect->isChecked())
            processKeystroke(ui->connect_1, ui->connect_2, ui->connect_3);
    } else if (callState == CallConnected) {
        qDebug("hangup now... ");
        if (ui->chk_hangup->isChecked())
            processKeystroke(ui->hangup_1, ui->hangup_2, ui->hangup_3);
    }
}

void MainWindow::processKeystroke(QComboBox* k1, QComboBox* k2, QComboBox* k3)
{
    const int indices[] = {k1->currentIndex(), k2->currentIndex(), k3->currentIndex()};
    // Released in the order pressed, first key first.
    for (int index : indices) {
        if (index != 0)
            keysender::press(KeyTable::code(index));
    }
    for (int index : indices) {
        if (index != 0)
            keysender::release(KeyTable::code(index));
    }
    keysender::flush();
}
