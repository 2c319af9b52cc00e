#include "control/softphonecommand.h"

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
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return QFileInfo::exists(program) ? QStringLiteral("the program is not executable")
                                          : QStringLiteral("no such program");
    return {};
}

} // namespace

void runSoftphoneCommand(const QString& command)
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
    if (!reason.isEmpty())
        qWarning("Parlink: cannot run the softphone command \"%s\": %s", qPrintable(command), qPrintable(reason));
}
