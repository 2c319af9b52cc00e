// Turns the desktop's request to end the program (SIGTERM, SIGINT, SIGHUP; on Windows the end of the session) into
// a signal of the event loop, so that the program leaves the same orderly way as through "Quit".
#pragma once

#include <QObject>

class QuitSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit QuitSignalWatcher(QObject* parent = nullptr);
    ~QuitSignalWatcher() override;

signals:
    void quitRequested();

private slots:
    void onSignalArrived();

private:
    // What reports the request: a socket notifier on POSIX, a hidden session window on Windows.
    QObject* source = nullptr;
};
