// The console's connect switch answers or hangs up by sending the softphone's own hot-keys, or by running its own
// command where the user has set one.
#include "ui/mainwindow.h"

#include "console/chidvoip.h"
#include "control/keysender.h"
#include "control/keytable.h"
#include "control/softphonecommand.h"
#include "session/problemnotices.h"
#include "ui_mainwindow.h"

#include <QSettings>

namespace {

// Set by hand in the settings store, never written by Parlink; read at every press, so a change needs no restart.
const char answerCommandKey[] = "answer_command";
const char hangupCommandKey[] = "hangup_command";

} // namespace

void MainWindow::connect_clicked()
{
    if (!hidVoip->isConnected())
        return;
    if (!remoteMode()) {
        // Internal mode: the switch itself keeps the in-call flag.
        if (callState != CallIdle) {
            if (ui->chk_hangup->isChecked()) {
                hangUp();
                showConnectLed(false);
            }
        } else if (ui->chk_connect->isChecked()) {
            answer();
            showConnectLed(true);
        }
        callState = callState == CallIdle ? 1 : 0;
        return;
    }
    if (callState == CallIncoming) {
        qDebug("answer noww... ");
        if (ui->chk_connect->isChecked())
            answer();
    } else if (callState == CallConnected) {
        qDebug("hangup now... ");
        if (ui->chk_hangup->isChecked())
            hangUp();
    }
}

void MainWindow::answer()
{
    answerOrHangUp(answerCommandKey, ui->connect_1, ui->connect_2, ui->connect_3);
}

void MainWindow::hangUp()
{
    answerOrHangUp(hangupCommandKey, ui->hangup_1, ui->hangup_2, ui->hangup_3);
}

void MainWindow::answerOrHangUp(const char* commandKey, QComboBox* k1, QComboBox* k2, QComboBox* k3)
{
    const QSettings settings;
    const QVariant command = settings.value(QLatin1String(commandKey));
    const ProblemNotices::Problem problem =
        commandKey == hangupCommandKey ? ProblemNotices::HangupCommandFailed : ProblemNotices::AnswerCommandFailed;
    QString warning;
    // The INI reader makes a list of a value with an unquoted comma: neither a piece of it nor the keys are meant.
    // Said on stderr once for each such value, not at every press.
    if (command.userType() == QMetaType::QStringList) {
        warning = QStringLiteral("Parlink: %1 in %2 has a comma outside double quotes, so it reads as a list and the "
                                 "switch sends nothing; write it in double quotes")
                      .arg(QLatin1String(commandKey), settings.fileName());
        const QString seen =
            QLatin1String(commandKey) + QLatin1Char('=') + command.toStringList().join(QLatin1Char(','));
        if (!reportedCommandLists.contains(seen)) {
            reportedCommandLists.append(seen);
            qWarning("%s", qPrintable(warning));
        }
    } else if (command.toString().trimmed().isEmpty()) {
        processKeystroke(k1, k2, k3);
    } else {
        warning = runSoftphoneCommand(command.toString());
        if (!warning.isEmpty())
            qWarning("%s", qPrintable(warning));
    }
    if (warning.isEmpty())
        notices->setProblem(problem, false, warning);
    else
        notices->occurred(problem, warning);
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
