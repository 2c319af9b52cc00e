// A private, headless X server for one test: Xvfb on the first free display, ended with the object.
#pragma once

#include "childprocess.h"
#include <QByteArray>
#include <QString>
#include <QStringList>

class XvfbServer
{
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Empty when Xvfb is not installed.
    static QString executable();

    // Waits (bounded) until the server accepts clients; false with errorString() when it does not.
    // Extra arguments go to Xvfb as they are, e.g. {"-extension", "XTEST"} to leave an extension out.
    bool start(const QStringList& extraArguments = {});
    void stop();

    // The DISPLAY value of the running server, such as ":3".
    QByteArray display() const { return displayName; }
    QString errorString() const { return error; }

private:
    ChildProcess process;
    QByteArray displayName;
    QString error;
};
