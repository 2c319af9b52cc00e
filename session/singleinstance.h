// One Parlink per settings store: a second start in window mode asks the running one to show its window instead of
// becoming a second tray icon, a second reader of the console and a second sender of every key combination.
#pragma once

#include "session/instancelocation.h"

#include <QList>
#include <QLockFile>
#include <QObject>
#include <QPointer>

class QDeadlineTimer;
class QLocalServer;
class QLocalSocket;
class QTimer;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // xDisplay: the X display the toolkit opens; empty without one.
    explicit SingleInstance(const QString& xDisplay);
    ~SingleInstance() override;

    enum Start
    {
        Claimed,     // this is the store's Parlink now
        OtherShown,  // the running one has shown its window
        OtherSilent, // one runs but does not answer (said on stderr)
    };
    // Waits a few seconds at most for a running Parlink to answer; becomes the Parlink when that one has gone.
    Start start();
    // This Parlink is ending: later starts are no longer answered, and take over once it has gone.
    void stopAnswering();

signals:
    void showRequested();

private slots:
    void onConnection();
    void onNextTurn();

private:
    enum Answer
    {
        Shown,
        Gone,   // nobody listens, or the connection closed unanswered: the running one is starting or ending
        Silent, // connected, but no answer in time
    };
    bool claim();
    Answer askToShow(const QDeadlineTimer& deadline) const;
    bool runsElsewhere(const QString& lockFile, const QString& serverName, Start& start) const;
    static void reportSilence(const QLockFile& holder, const char* reason);

    InstanceLocation location;
    QLockFile lock;
    QLocalServer* server = nullptr;
    QTimer* nextTurn = nullptr;
    QList<QPointer<QLocalSocket>> showAsked;
};
