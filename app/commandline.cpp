#include "app/commandline.h"

#include "app/statussender.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {

// "l" beats "s", "s" beats "u"; with none of them the status is broadcast.
bool chooseDestination(const QCommandLineParser& parser, const QCommandLineOption& local,
                       const QCommandLineOption& broadcast, const QCommandLineOption& host, QHostAddress& destination)
{
    destination = QHostAddress(QHostAddress::Broadcast);
    if (parser.isSet(local)) {
        destination = QHostAddress(QHostAddress::LocalHost);
    } else if (!parser.isSet(broadcast) && parser.isSet(host)) {
        // Only numeric addresses: a call hook must never wait on name resolution.
        const QString value = parser.value(host);
        if (!destination.setAddress(value)) {
            std::fprintf(stderr, "parlink: \"%s\" is not a numeric IPv4 or IPv6 address\n", qPrintable(value));
            return false;
        }
    }
    return true;
}

} // namespace

int runCommandLine(QCoreApplication& app)
{
    QCommandLineParser parser;
    const QCommandLineOption broadcast(QStringLiteral("s"), QStringLiteral("Send command by broadcast"));
    const QCommandLineOption local(QStringLiteral("l"), QStringLiteral("Send command to localhost"));
    const QCommandLineOption host(QStringLiteral("u"), QStringLiteral("Send command to specified host"),
                                  QStringLiteral("ip_addr"));
    parser.setApplicationDescription(QStringLiteral("Parlink control application"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(broadcast);
    parser.addOption(local);
    parser.addOption(host);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("Command to send"),
                                 QStringLiteral("incoming | connected | disconnected"));
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        std::fputs("No command given\n", stdout);
        std::fflush(stdout);
        return usageErrorStatus;
    }
    // Softphones may append more arguments (the caller's number, say): only the first one is the command.
    const QString& command = positional.first();

    // An unknown word is the caller's first mistake to hear about, whatever the destination options say.
    const auto words = {"incoming", "connected", "disconnected"};
    if (std::none_of(words.begin(), words.end(), [&](const char* word) { return command == QLatin1String(word); }))
        return unknownCommandStatus;

    QHostAddress destination;
    if (!chooseDestination(parser, local, broadcast, host, destination))
        return usageErrorStatus;
    return sendStatusDatagram(destination, command);
}
