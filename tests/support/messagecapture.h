// Collects the toolkit's debug and warning output while it lives, so tests can check the exact messages.
#pragma once

#include <QStringList>
#include <QtGlobal>

class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList debugMessages() const;
    QStringList warnings() const;
    void clear();
};
