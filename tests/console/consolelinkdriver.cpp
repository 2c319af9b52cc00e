#include "consolelinkdriver.h"

#include "consoleinput.h"
#include "fakehid.h"

#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

constexpr int connectIntervalMs = 2000;

} // namespace

ConsoleLinkDriver::ConsoleLinkDriver(int model) : hidVoip(std::make_unique<CHidVoip>(nullptr))
{
    if (model != 0)
        hidVoip->onConsoleChanged(model);
}

QTimer* ConsoleLinkDriver::connectTimer() const
{
    for (QTimer* timer : hidVoip->findChildren<QTimer*>())
        if (timer->interval() == connectIntervalMs)
            return timer;
    return nullptr;
}

bool ConsoleLinkDriver::reading() const
{
    const auto* reader = hidVoip->findChild<QThread*>();
    return reader && reader->isRunning();
}

void ConsoleLinkDriver::connectTick()
{
    QMetaObject::invokeMethod(hidVoip.get(), "hidConnectTimer");
}

bool ConsoleLinkDriver::open()
{
    fakehid::plug();
    connectTick();
    fakehid::clearOutputs();
    return hidVoip->isConnected();
}

void ConsoleLinkDriver::poll()
{
    QVERIFY2(hidVoip->isConnected(), "polled a closed link");
    QVERIFY2(takeConsoleInput(*hidVoip), "the console's reports were not taken in");
}

void ConsoleLinkDriver::receive(int byte1)
{
    fakehid::queueInput({0x00, static_cast<unsigned char>(byte1), 0x00, 0x00});
    poll();
}

void ConsoleLinkDriver::run(const QString& steps)
{
    if (steps.isEmpty())
        return;
    for (const QString& step : steps.split(QStringLiteral(", "))) {
        const QStringList words = step.split(QLatin1Char(' '));
        QCOMPARE(words.size(), 2);
        if (words[0] == QLatin1String("read"))
            receive(words[1].toInt(nullptr, 16));
        else if (words[0] == QLatin1String("incoming"))
            hidVoip->setIncomingLed(words[1] == QLatin1String("on"));
        else if (words[0] == QLatin1String("connect"))
            hidVoip->setConnectLed(words[1] == QLatin1String("on"));
        else
            QFAIL(qPrintable(QStringLiteral("unknown step: ") + step));
    }
}

void ConsoleLinkDriver::destroy()
{
    hidVoip.reset();
}

QList<QByteArray> outputReports()
{
    QList<QByteArray> written;
    for (const fakehid::OutputReport& output : fakehid::outputs())
        written.append(QByteArray(reinterpret_cast<const char*>(output.bytes.data()), int(output.bytes.size())));
    return written;
}

QByteArray report(const char* hex)
{
    return QByteArray::fromHex(hex);
}

QList<QByteArray> reports(const QStringList& hex)
{
    QList<QByteArray> bytes;
    for (const QString& one : hex)
        bytes.append(QByteArray::fromHex(one.toLatin1()));
    return bytes;
}
