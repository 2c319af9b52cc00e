// A real MainWindow over the simulated console, with ways to reach what a person or the softphone would.
#pragma once

#include "console/chidvoip.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QComboBox>
#include <QList>
#include <QString>
#include <QTimer>
#include <QUdpSocket>
#include <memory>

class WindowProbe
{
public:
    // Plugs nothing in: the simulated console stays as the test left it.
    WindowProbe();
    ~WindowProbe();

    MainWindow& window() { return *mainWindow; }
    CHidVoip& link() { return *mainWindow->findChild<CHidVoip*>(); }
    QComboBox* selector(const char* name) const;
    QAbstractButton* button(const char* name) const;

    // Plugs the simulated console in and lets the link open it without waiting for its 2 s tick.
    void openConsole();
    // Waits until the link has taken in every report the console sent.
    void poll();
    // Operates the console's switch: the level drops to 0 and comes back to 1, one poll each.
    void pressSwitch();
    void setRemoteMode(bool remote);

    // Sends a status datagram to the window's port on loopback and waits (bounded) until it has been read.
    void sendStatus(const QByteArray& payload);
    void sendStatuses(const QList<QByteArray>& payloads);

    // Byte 2 of every output report sent since the last call, in order.
    QList<int> takeLedBytes();
    // The slot connect_clicked, as the link's signal would call it; returns the debug lines it wrote.
    QStringList clickAndCollectDebug();

private:
    std::unique_ptr<MainWindow> mainWindow;
    size_t outputsSeen = 0;
};
