#include "consoleinput.h"

#include "console/chidvoip.h"
#include "fakehid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace {

constexpr qint64 giveUpMs = 5000;

} // namespace

bool takeConsoleInput(const CHidVoip& link)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < giveUpMs) {
        // Looked at before delivering: once the reader waits again, all it handed over has been posted.
        const bool settled = fakehid::readerWaiting();
        QCoreApplication::sendPostedEvents();
        if (settled || !link.isConnected())
            return true;
        QThread::msleep(1);
    }
    return false;
}
