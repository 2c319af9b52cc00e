#include "messagecapture.h"

namespace {

QStringList debugs;
QStringList warns;
QtMessageHandler previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && qstrcmp(context.category, "default") == 0)
        debugs.append(message);
    else if (type == QtWarningMsg)
        warns.append(message);
}

} // namespace

MessageCapture::MessageCapture()
{
    clear();
    previous = qInstallMessageHandler(capture);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(previous);
}

QStringList MessageCapture::debugMessages() const
{
    return debugs;
}

QStringList MessageCapture::warnings() const
{
    return warns;
}

void MessageCapture::clear()
{
    debugs.clear();
    warns.clear();
}
