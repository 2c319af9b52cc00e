// The event dispatcher of command mode, which never runs an event loop: it takes every registration and does
// nothing, so that the toolkit's own dispatcher (a hidden window on Windows, a GLib context on Linux) is never
// made just to be thrown away.
#pragma once

#include <QAbstractEventDispatcher>

class InertEventDispatcher : public QAbstractEventDispatcher
{
public:
    bool processEvents(QEventLoop::ProcessEventsFlags) override { return false; }
    void registerSocketNotifier(QSocketNotifier*) override {}
    void unregisterSocketNotifier(QSocketNotifier*) override {}
    bool unregisterTimer(int) override { return false; }
    bool unregisterTimers(QObject*) override { return false; }
    QList<TimerInfo> registeredTimers(QObject*) const override { return {}; }
    int remainingTime(int) override { return -1; }
    void wakeUp() override {}
    void interrupt() override {}
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    void registerTimer(int, qint64, Qt::TimerType, QObject*) override {}
#else
    void registerTimer(int, int, Qt::TimerType, QObject*) override {}
    bool hasPendingEvents() override
    {
        return false;
    }
    void flush() override {}
#ifdef Q_OS_WIN
    bool registerEventNotifier(QWinEventNotifier*) override
    {
        return false;
    }
    void unregisterEventNotifier(QWinEventNotifier*) override {}
#endif
#endif
};
