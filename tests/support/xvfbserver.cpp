#include "xvfbserver.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

namespace {

// Generous: the machine is shared, and Xvfb compiles its keymap at start.
constexpr int startTimeoutMs = 20000;
constexpr int stopTimeoutMs = 5000;

} // namespace

XvfbServer::~XvfbServer()
{
    stop();
}

QString XvfbServer::executable()
{
    return QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
}

bool XvfbServer::start(const QStringList& extraArguments)
{
    const QString program = executable();
    if (program.isEmpty()) {
        error = QStringLiteral("Xvfb is not installed");
        return false;
    }
    // -displayfd picks a free display number and writes it to our pipe once clients can connect.
    process.start(program, QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                       QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                       QStringLiteral("tcp"), QStringLiteral("-noreset")} +
                               extraArguments);
    const QDeadlineTimer deadline(startTimeoutMs);
    process.waitForStarted(startTimeoutMs);
    QByteArray output;
    while (!output.contains('\n') && process.state() == QProcess::Running && !deadline.hasExpired()) {
        process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        output += process.readAllStandardOutput();
    }
    const QByteArray number = output.trimmed();
    if (!output.contains('\n') || number.isEmpty()) {
        error = QStringLiteral("Xvfb gave no display number within %1 ms: %2")
                    .arg(startTimeoutMs)
                    .arg(QString::fromLocal8Bit(process.readAllStandardError().right(2000)));
        stop();
        return false;
    }
    displayName = ':' + number;
    return true;
}

void XvfbServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(stopTimeoutMs)) {
        process.kill();
        process.waitForFinished(stopTimeoutMs);
    }
}
