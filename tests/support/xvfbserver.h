// A private, headless X server for one test: Xvfb on the first free display, ended with the object.
#pragma once

#include <QByteArray>
#include "childprocess.h"
#include <QString>

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
    bool start();
    void stop();

    // The DISPLAY value of the running server, such as ":3".
    QByteArray display() const { return displayName; }
    QString errorString() const { return error; }

private:
    ChildProcess process;
    QByteArray displayName;
    QString error;
};
