#include "windowprobe.h"

#include "consoleinput.h"
#include "fakehid.h"
#include "messagecapture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QUdpSocket>

WindowProbe::WindowProbe() : mainWindow(std::make_unique<MainWindow>())
{
    outputsSeen = fakehid::outputs().size();
}

WindowProbe::~WindowProbe() = default;

QComboBox* WindowProbe::selector(const char* name) const
{
    return mainWindow->findChild<QComboBox*>(QLatin1String(name));
}

QAbstractButton* WindowProbe::button(const char* name) const
{
    return mainWindow->findChild<QAbstractButton*>(QLatin1String(name));
}

void WindowProbe::openConsole()
{
    fakehid::plug();
    QMetaObject::invokeMethod(&link(), "hidConnectTimer");
}

void WindowProbe::poll()
{
    QVERIFY2(takeConsoleInput(link()), "the console's reports were not taken in");
}

void WindowProbe::pressSwitch()
{
    fakehid::queueSwitch(false);
    poll();
    fakehid::queueSwitch(true);
    poll();
}

void WindowProbe::setRemoteMode(bool remote)
{
    button(remote ? "radioButton_conn_led_remote" : "radioButton_conn_led_internal")->setChecked(true);
}

void WindowProbe::sendStatus(const QByteArray& payload)
{
    sendStatuses({payload});
}

void WindowProbe::sendStatuses(const QList<QByteArray>& payloads)
{
    QUdpSocket sender;
    for (const QByteArray& payload : payloads)
        sender.writeDatagram(payload, QHostAddress::LocalHost, 6123);
    // The window reads its socket in turns; once nothing is pending, every datagram has been read.
    QUdpSocket* socket = mainWindow->findChild<QUdpSocket*>();
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::processEvents();
    while (socket->hasPendingDatagrams() && elapsed.elapsed() < 5000)
        QTest::qWait(5);
}

QList<int> WindowProbe::takeLedBytes()
{
    QList<int> bytes;
    const auto& outputs = fakehid::outputs();
    for (size_t i = outputsSeen; i < outputs.size(); ++i)
        bytes.append(outputs[i].bytes.at(2));
    outputsSeen = outputs.size();
    return bytes;
}

QStringList WindowProbe::clickAndCollectDebug()
{
    MessageCapture capture;
    QMetaObject::invokeMethod(mainWindow.get(), "connect_clicked");
    return capture.debugMessages();
}
