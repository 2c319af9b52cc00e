#include "observedparlink.h"

#include <QElapsedTimer>
#include <QTest>
#include <QUdpSocket>

namespace {

constexpr int ledBits = 0x06;

} // namespace

ObservedParlink::ObservedParlink()
{
    QProcess& process = parlink.process();
    QProcessEnvironment environment = process.processEnvironment();
    // A switch press sends key strokes: never into the desktop of the person running the tests.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
}

bool ObservedParlink::startWithConsoleUnder(const QString& tool, const QStringList& arguments, int openWithinMs)
{
    QProcess& process = parlink.process();
    if (parlink.console({QStringLiteral("plug")}) != 0)
        return false;
    process.start(tool, arguments + QStringList{QStringLiteral(PARLINK_EXECUTABLE)});
    return process.waitForStarted(10000) &&
           waitUntil([this] { return count(QStringLiteral("open")) > 0 && outputCount() >= 2; }, openWithinMs);
}

QStringList ObservedParlink::errorLines()
{
    errorOutput += parlink.process().readAllStandardError();
    QStringList lines = QString::fromLocal8Bit(errorOutput).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

QStringList ObservedParlink::errorLinesContaining(const QString& text)
{
    return errorLines().filter(text);
}

bool ObservedParlink::waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs || !running())
            return false;
        QTest::qWait(10);
    }
    return true;
}

bool ObservedParlink::pressAndRelease()
{
    const int inputs = count(QStringLiteral("input"));
    const auto taken = [this](int wanted) {
        return waitUntil([this, wanted] { return count(QStringLiteral("input")) >= wanted; });
    };
    return parlink.console({QStringLiteral("press")}) == 0 && taken(inputs + 1) &&
           parlink.console({QStringLiteral("release")}) == 0 && taken(inputs + 2);
}

void ObservedParlink::sendStatus(const QByteArray& payload)
{
    QUdpSocket sender;
    sender.writeDatagram(payload, QHostAddress::LocalHost, 6123);
}

QList<int> ObservedParlink::ledsFrom(int first) const
{
    QList<int> leds;
    const QList<QByteArray> outputs = parlink.outputs();
    for (int index = first; index < outputs.size(); ++index)
        leds.append(outputs[index].size() > 2 ? outputs[index].at(2) & ledBits : -1);
    return leds;
}
