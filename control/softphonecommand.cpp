#include "control/softphonecommand.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace {

// Why the program cannot be started, as far as can be told before trying; empty when it looks startable.
QString obstacle(const QString& program)
{
    if (program.isEmpty())
        return QStringLiteral("it names no program");
    if (!QStandardPaths::findExecutable(program).isEmpty())
        return {};
    // No working directory is ours to rely on: Parlink starts wherever the desktop starts it.
    if (QFileInfo(program).isRelative() && QDir::fromNativeSeparators(program).contains(QLatin1Char('/')))
        return QStringLiteral("a relative path is looked up in PATH only; give the full path");
    return QFileInfo::exists(program) ? QStringLiteral("the program is not executable")
                                      : QStringLiteral("no such program");
}

} // namespace

QString runSoftphoneCommand(const QString& command)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    QStringList words = QProcess::splitCommand(command);
    const QString program = words.isEmpty() ? QString() : words.takeFirst();
    QString reason = obstacle(program);
    if (reason.isEmpty() && !QProcess::startDetached(program, words))
        reason = QStringLiteral("it could not be started");
#else
    QString reason;
    if (!QProcess::startDetached(command))
        reason = QStringLiteral("it could not be started");
#endif
    if (reason.isEmpty())
        return {};
    return QStringLiteral("Parlink: cannot run the softphone command \"%1\": %2").arg(command, reason);
}
