// The tray-resident window: owner of the console link, the status socket, the blink timer and the tray icon.
#pragma once

#include "control/callstate.h"

#include <QComboBox> // complete, so that moc registers the slot's argument type as "QComboBox*"
#include <QHash>
#include <QMainWindow>
#include <QPair>
#include <QStringList>
#include <QVariant>

class CHidVoip;
class ProblemNotices;
class QCloseEvent;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QUdpSocket;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The desktop ends the program (its session ends, or a signal asks): the way out of "Quit", but nothing on it
    // may wait for the user.
    void endWithTheSession();

signals:
    // The program ends once this close is done, though a box may still wait for the user first.
    void ending();

private slots:
    void closeEvent(QCloseEvent* event) override;
    void close_exit();
    void processKeystroke(QComboBox* k1, QComboBox* k2, QComboBox* k3);
    void readSettings();
    void writeSettings();
    void connect_clicked();
    void timeout();
    void onReadyRead();
    void on_radioButton_conn_led_internal_toggled(bool checked);

private:
    void bindStatusSocket();
    void fillKeySelectors();
    void createTray();
    void addTrayEntry(const QString& text, const char* slot);
    bool remoteMode() const;
    void showCallStateOnConsole();
    void showConnectLed(bool lit);
    void answer();
    void hangUp();
    void answerOrHangUp(const char* commandKey, QComboBox* k1, QComboBox* k2, QComboBox* k3);
    void keepFormLegible();
    void storeChangesSoon();
    // The settings keys with what the window shows for each.
    QList<QPair<QString, QVariant>> choices() const;

    Ui::MainWindow* ui;
    CHidVoip* hidVoip;
    QSystemTrayIcon* trayIcon;
    QMenu* trayMenu;
    QTimer* blinkTimer;
    // A moment after the user's last change in the window, the settings are stored.
    QTimer* storeTimer;
    // What a later start would read from the settings store, as the window shows it: as read at start, and as each
    // store since wrote it.
    QHash<QString, QString> held;
    QString heldStamp; // the store's file as it was then
    QUdpSocket* udpSocket;
    CallState callState;
    bool quitting;
    bool sessionEnding;
    // What the call-state logic last asked of the connect LED, to show again on a reopened or newly chosen console.
    bool connectLedLit;
    // Softphone commands already reported as read as a list ("key=value"), so that each is said once.
    QStringList reportedCommandLists;
    ProblemNotices* notices;
};
