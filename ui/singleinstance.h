// One Parlink per settings store: a second start in window mode asks the running one to show its window instead of
// becoming a second tray icon, a second reader of the console and a second sender of every key combination.
#pragma once

#include <QLockFile>
#include <QObject>

class QLocalServer;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    SingleInstance();

    // True when no other Parlink uses this settings store; this one then answers later starts until it ends.
    bool claim();
    // Asks the Parlink that holds the claim to show its window; false when it does not answer.
    bool askRunningToShow();

signals:
    void showRequested();

private slots:
    void onConnection();

private:
    QString name;
    QLockFile lock;
    QLocalServer* server = nullptr;
};
