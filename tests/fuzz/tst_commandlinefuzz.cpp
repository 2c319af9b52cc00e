// Random command lines against the real executable in command mode: whatever they hold, it ends by itself with
// one of its statuses, never by a signal, and sends at most one datagram, and that only for a command word.
#include "app/toolkitarguments.h"
#include "parlinkprocess.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <random>

namespace {

constexpr int vectorsPerRow = 50;
constexpr int runTimeoutMs = 30000;

const QStringList commandWords{"incoming", "connected", "disconnected"};
const QStringList nearMisses{"Incoming",  "CONNECTED",   "incoming ",      " connected",        "disconnecte",
                             "incomingg", "-s incoming", "s incoming",     "connected\n",       "ringing",
                             "0",         "+4930123456", "disconnected\t", "incoming,connected"};
const QStringList ourOptions{"-l", "-s",  "-u",  "-b",        "-h",         "-v",   "--help", "--version",
                             "-?", "-ls", "-sl", "-lu",       "--l",        "--s",  "--u",    "--u=::1",
                             "-x", "--",  "-",   "--unknown", "--help-all", "-lsv", "-ll",    "--version=1"};
const QStringList toolkitOptions{"-platform",  "-style",    "-style=fusion", "-stylesheet",   "-reverse",
                                 "-display",   "-geometry", "-title",        "-name",         "-session",
                                 "-plugin",    "-nograb",   "-widgetcount",  "-qwindowtitle", "-platformtheme",
                                 "--platform", "-qdebug",   "-icon"};
const QStringList toolkitValues{"offscreen", "minimal", "xcb", "nosuch", "fusion", "windows", ":99", "10x10+1+1"};
// Only this machine's own addresses: the test runs where nothing but loopback exists, and sends nowhere else.
const QStringList addresses{"127.0.0.1", "::1", "localhost", "0", "", "127.0.0.1:6123", "[::1]", "::ffff:127.0.0.1"};
const QStringList validPayloads{"-s incoming", "-s connected", "-s disconnected"};

class ArgumentGenerator
{
public:
    explicit ArgumentGenerator(unsigned seed) : random(seed) {}

    QStringList next()
    {
        QStringList arguments;
        const int count = int(below(7));
        for (int i = 0; i < count; ++i)
            arguments.append(token());
        // Half of them send to loopback, where the listener sees what arrives.
        if (below(2))
            arguments.insert(int(below(unsigned(arguments.size()) + 1)), QStringLiteral("-l"));
        return arguments;
    }

private:
    unsigned below(unsigned bound) { return unsigned(random() % bound); }
    const QString& pick(const QStringList& list) { return list.at(int(below(unsigned(list.size())))); }

    QString token()
    {
        switch (below(11)) {
        case 0:
        case 1:
        case 10:
            return pick(commandWords);
        case 2:
            return pick(nearMisses);
        case 3:
        case 4:
            return pick(ourOptions);
        case 5:
            return pick(toolkitOptions);
        case 6:
            return below(2) ? pick(toolkitValues) : pick(addresses);
        case 7:
            return garbage();
        case 8:
            return unicode();
        default:
            return QString();
        }
    }

    QString garbage()
    {
        QString text;
        const unsigned length = below(12);
        for (unsigned i = 0; i < length; ++i)
            text.append(QChar(0x20 + below(0x5f)));
        return text;
    }

    QString unicode()
    {
        static const char32_t starts[] = {0xa0, 0x400, 0x4e00, 0x1f4de, 0x300, 0x200b, 0xfeff, 0xfffd};
        QString text;
        const unsigned length = 1 + below(6);
        for (unsigned i = 0; i < length; ++i) {
            const char32_t code = starts[below(8)] + below(16);
            text.append(QString::fromUcs4(&code, 1));
        }
        return text;
    }

    std::mt19937 random;
};

// The arguments the program is left with once the toolkit has taken its own: with none, it would start resident.
bool leavesCommandMode(const QStringList& arguments)
{
    QList<QByteArray> storage{QByteArray("parlink")};
    for (const QString& argument : arguments)
        storage.append(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& bytes : storage)
        argv.push_back(bytes.data());
    return withoutToolkitOptions(int(argv.size()), argv.data(), "offscreen").remaining.size() > 1;
}

QString quoted(const QStringList& arguments)
{
    QStringList parts;
    for (const QString& argument : arguments)
        parts.append(QLatin1Char('"') + argument + QLatin1Char('"'));
    return QLatin1Char('[') + parts.join(QLatin1Char(' ')) + QLatin1Char(']');
}

} // namespace

class TestCommandLineFuzz : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void randomArguments_data();
    void randomArguments();

private:
    // What reached this namespace's port 6123 since the last call: a marker sent last shows that all has arrived.
    QList<QByteArray> takeDatagrams();
    QString verdict(const QStringList& arguments, const CommandResult& result, const QList<QByteArray>& received);

    QTemporaryDir home;
    QProcessEnvironment environment;
    QUdpSocket listener;
    QUdpSocket markerSender;
    int markers = 0;
};

void TestCommandLineFuzz::initTestCase()
{
    // Without a namespace of its own a broadcast could leave the machine.
    if (qEnvironmentVariableIntValue("PARLINK_NO_NETNS"))
        QSKIP("no private network namespace here");
    QVERIFY(home.isValid());
    environment = isolatedEnvironment(home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QVERIFY2(listener.bind(QHostAddress::Any, 6123), qPrintable(listener.errorString()));
}

void TestCommandLineFuzz::randomArguments_data()
{
    QTest::addColumn<unsigned>("seed");
    for (unsigned seed = 1; seed <= 6; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

void TestCommandLineFuzz::randomArguments()
{
    QFETCH(unsigned, seed);

    ArgumentGenerator generator(seed);
    QMap<int, int> statuses;
    int sent = 0;
    for (int i = 0; i < vectorsPerRow; ++i) {
        QStringList arguments = generator.next();
        // Window mode is not the subject: a word the toolkit does not take keeps the process in command mode.
        for (int extra = 0; extra < 3 && !leavesCommandMode(arguments); ++extra)
            arguments.append(QStringLiteral("ringing"));
        QVERIFY(leavesCommandMode(arguments));

        const CommandResult result = runParlink(arguments, environment, runTimeoutMs);
        const QList<QByteArray> received = takeDatagrams();
        const QString problem = verdict(arguments, result, received);
        if (!problem.isEmpty())
            QFAIL(qPrintable(QStringLiteral("vector %1 %2: %3").arg(i).arg(quoted(arguments), problem)));
        ++statuses[result.exitCode];
        sent += int(received.size());
    }
    QStringList tally;
    for (auto status = statuses.cbegin(); status != statuses.cend(); ++status)
        tally.append(QStringLiteral("status %1: %2").arg(status.key()).arg(status.value()));
    qInfo("%d sent; %s", sent, qPrintable(tally.join(QStringLiteral(", "))));
}

QString TestCommandLineFuzz::verdict(const QStringList& arguments, const CommandResult& result,
                                     const QList<QByteArray>& received)
{
    if (result.crashed)
        return result.exitCode < 0 ? QStringLiteral("did not end") : QStringLiteral("ended by a signal");
    if (result.exitCode < 0 || result.exitCode > 3)
        return QStringLiteral("exit status %1").arg(result.exitCode);
    if (received.size() > 1)
        return QStringLiteral("%1 datagrams sent").arg(received.size());
    if (received.size() == 1) {
        const QString payload = QString::fromUtf8(received.first());
        if (!validPayloads.contains(payload))
            return QStringLiteral("sent \"%1\"").arg(payload);
        if (!arguments.contains(payload.mid(3)))
            return QStringLiteral("sent \"%1\" without that word").arg(payload);
        if (result.exitCode != 0)
            return QStringLiteral("sent, yet exit status %1").arg(result.exitCode);
    }
    if (result.exitCode == 0 && received.isEmpty() && result.standardOutput.isEmpty())
        return QStringLiteral("status 0 with nothing sent and nothing shown");
    if (result.exitCode == 2 && !(result.standardOutput.isEmpty() && result.standardError.isEmpty()))
        return QStringLiteral("an unknown word is refused silently, yet it wrote: ") +
               QString::fromLocal8Bit(result.standardOutput + result.standardError);
    return QString();
}

QList<QByteArray> TestCommandLineFuzz::takeDatagrams()
{
    const QByteArray marker = "marker " + QByteArray::number(++markers);
    markerSender.writeDatagram(marker, QHostAddress::LocalHost, 6123);
    QList<QByteArray> received;
    for (int reads = 0; reads < 100; ++reads) {
        if (!listener.hasPendingDatagrams() && !listener.waitForReadyRead(5000))
            break;
        const QByteArray data = listener.receiveDatagram().data();
        if (data == marker)
            return received;
        received.append(data);
    }
    received.append("(the marker never came)");
    return received;
}

QTEST_GUILESS_MAIN(TestCommandLineFuzz)
#include "tst_commandlinefuzz.moc"
