// Runs the real parlink executable for end-to-end tests, with a private settings folder and bounded waits.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

struct CommandResult
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray standardOutput;
    QByteArray standardError;
};

// The environment of a test run: HOME and XDG_CONFIG_HOME in a temporary folder, no real user touched.
QProcessEnvironment isolatedEnvironment(const QTemporaryDir& home);

// Runs parlink in command mode and waits (at most timeoutMs) for it to end.
CommandResult runParlink(const QStringList& arguments, const QProcessEnvironment& environment, int timeoutMs = 10000);
