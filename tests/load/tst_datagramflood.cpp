// The real parlink in remote mode with the simulated console open takes 100,000 datagrams, valid and invalid, as
// fast as its socket takes them: it keeps its memory, ends in the state of the last valid one, and still follows
// the softphone and the switch afterwards.
#include "datagramflood.h"
#include "residentparlink.h"

#include <QFile>
#include <QUdpSocket>
#include <QtTest>

#if defined(__SANITIZE_ADDRESS__)
#define PARLINK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PARLINK_UNDER_ASAN 1
#endif
#endif

namespace {

constexpr std::size_t floodSize = 100000;
constexpr std::size_t warmUpSize = 10000;
constexpr int incomingLed = 0x02;
constexpr int connectLed = 0x04;
constexpr int switchBit = 0x01;
// A leak of even a hundred bytes per datagram would pass this many times over.
constexpr qint64 allowedGrowthKiB = 8 * 1024;
// Long enough for a blink that should not be there to tick twice.
constexpr int quietMs = 600;
constexpr int drainMs = 60000;

// A line of /proc/<pid>/status in KiB, such as "VmRSS"; -1 when it cannot be read.
qint64 statusKiB(qint64 pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool receiverDrained()
{
    const flood::ReceiverQueue queue = flood::receiverQueue();
    return queue.found && queue.queuedBytes == 0;
}

} // namespace

class DatagramFloodTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endsInTheStateOfTheLastValidDatagram();
    void memoryDoesNotGrow();
    void stillFollowsDatagramsAndTheSwitch();
    void cleanupTestCase();

private:
    int lastLeds() const;
    QByteArray standardError() const;
    void sendStatus(const QByteArray& payload);

    ResidentParlink parlink;
    QString standardErrorFile;
    qint64 residentBeforeKiB = -1;
    qint64 residentAfterKiB = -1;
};

void DatagramFloodTest::initTestCase()
{
    if (qEnvironmentVariableIntValue("PARLINK_NO_NETNS"))
        QSKIP("the flood needs port 6123 to itself, which only a private network namespace guarantees");

    parlink.storeRemoteMode(true);

    QProcessEnvironment environment = parlink.process().processEnvironment();
    // The switch's answer keys must reach no desktop the developer has open.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
    parlink.process().setProcessEnvironment(environment);
    // Into a file: a pipe nobody reads while the flood is sent would fill and stop the program.
    standardErrorFile = parlink.home().filePath(QStringLiteral("stderr.txt"));
    parlink.process().setProcessChannelMode(QProcess::SeparateChannels);
    parlink.process().setStandardErrorFile(standardErrorFile);
    QVERIFY(parlink.startWithConsole());

    // The first datagrams grow the program's heap to its working size; only growth after that counts.
    flood::Result warmUp = flood::send(flood::mixedPlan(warmUpSize, 1, "-s disconnected"));
    QVERIFY2(warmUp.completed, warmUp.error.c_str());
    QTRY_VERIFY_WITH_TIMEOUT(receiverDrained(), drainMs);
    residentBeforeKiB = statusKiB(parlink.process().processId(), "VmRSS");

    const flood::Plan plan = flood::mixedPlan(floodSize, 2, "-s connected");
    const flood::Result result = flood::send(plan);
    QVERIFY2(result.completed, result.error.c_str());
    QTRY_VERIFY_WITH_TIMEOUT(receiverDrained(), drainMs);
    residentAfterKiB = statusKiB(parlink.process().processId(), "VmRSS");
    qInfo("%zu datagrams in %.2f s, %llu dropped by the kernel; VmRSS %lld KiB before, %lld KiB after, VmHWM %lld KiB",
          result.sent, double(result.endNs - result.startNs) / 1e9, static_cast<unsigned long long>(result.drops),
          residentBeforeKiB, residentAfterKiB, statusKiB(parlink.process().processId(), "VmHWM"));
}

int DatagramFloodTest::lastLeds() const
{
    const QList<QByteArray> reports = parlink.outputs();
    return reports.isEmpty() || reports.constLast().size() < 3 ? -1 : quint8(reports.constLast().at(2));
}

QByteArray DatagramFloodTest::standardError() const
{
    QFile file(standardErrorFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void DatagramFloodTest::sendStatus(const QByteArray& payload)
{
    QUdpSocket socket;
    QCOMPARE(socket.writeDatagram(payload, QHostAddress::LocalHost, flood::statusPort), qint64(payload.size()));
}

void DatagramFloodTest::endsInTheStateOfTheLastValidDatagram()
{
    QTRY_COMPARE(lastLeds(), connectLed | switchBit);
    // Connected stops the blinking: nothing more is written.
    const int reports = parlink.outputs().size();
    QTest::qWait(quietMs);
    QCOMPARE(parlink.outputs().size(), reports);
    QCOMPARE(parlink.process().state(), QProcess::Running);
}

void DatagramFloodTest::memoryDoesNotGrow()
{
#ifdef PARLINK_UNDER_ASAN
    QSKIP("AddressSanitizer keeps freed memory in quarantine; its leak check at exit covers this build");
#endif
    QVERIFY(residentBeforeKiB > 0 && residentAfterKiB > 0);
    QVERIFY2(
        residentAfterKiB - residentBeforeKiB <= allowedGrowthKiB,
        qPrintable(QStringLiteral("VmRSS grew from %1 KiB to %2 KiB").arg(residentBeforeKiB).arg(residentAfterKiB)));
}

void DatagramFloodTest::stillFollowsDatagramsAndTheSwitch()
{
    const int before = parlink.outputs().size();
    sendStatus("-s incoming");
    QTRY_VERIFY(parlink.outputs().size() >= before + 3);
    const QList<QByteArray> blink = parlink.outputs().mid(before, 3);
    for (int i = 0; i < blink.size(); ++i) {
        const int leds = quint8(blink.at(i).at(2));
        QCOMPARE(leds & connectLed, connectLed);
        if (i > 0)
            QVERIFY((leds ^ quint8(blink.at(i - 1).at(2))) & incomingLed);
    }

    QCOMPARE(parlink.console({QStringLiteral("press")}), 0);
    QTRY_VERIFY(standardError().contains("answer noww... "));
    QCOMPARE(parlink.console({QStringLiteral("release")}), 0);

    sendStatus("-s disconnected");
    QTRY_COMPARE(lastLeds(), switchBit);
}

void DatagramFloodTest::cleanupTestCase()
{
    if (parlink.process().state() != QProcess::Running)
        return;
    const bool clean = parlink.terminate();
    if (!clean)
        qWarning("parlink's standard error ends with:\n%s", standardError().right(4000).constData());
    QVERIFY(clean);
}

QTEST_GUILESS_MAIN(DatagramFloodTest)
#include "tst_datagramflood.moc"
