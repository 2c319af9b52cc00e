// Command mode: parses the command line and sends the one status datagram it asks for.
#pragma once

class QCoreApplication;

// Exit statuses of command mode besides the parser's own (0 for help and version, 1 for its errors).
constexpr int unknownCommandStatus = 2;
constexpr int usageErrorStatus = 1;

int runCommandLine(QCoreApplication& app);
