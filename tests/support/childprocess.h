// A QProcess that cannot outlive the test: the child gets SIGTERM when the test process dies, also when it
// crashes or is killed by a timeout, so no X server or program is left behind.
#pragma once

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

class ChildProcess : public QProcess
{
public:
    ChildProcess()
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    }

protected:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void setupChildProcess() override { prctl(PR_SET_PDEATHSIG, SIGTERM); }
#endif
};
