// One end-to-end run of the real parlink under valgrind's memcheck: window mode over the simulated console,
// a call from incoming to hang-up, the console pulled and put back, junk on the status port, and SIGTERM.
// Any invalid access, use of uninitialised memory, or block definitely lost makes valgrind's exit status 99.
#include "observedparlink.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

namespace {

constexpr int errorExitCode = 99;
// The program runs many times slower under memcheck.
constexpr int openWithinMs = 60000;
constexpr int stepWithinMs = 20000;
constexpr int endWithinMs = 60000;

QString logTail(const QString& path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return QStringLiteral("(no log at %1)").arg(path);
    return QString::fromLocal8Bit(log.readAll().right(6000));
}

} // namespace

class TestMemcheck : public QObject
{
    Q_OBJECT

private slots:
    void oneCallIsClean();
};

void TestMemcheck::oneCallIsClean()
{
    if (PARLINK_SANITIZED)
        QSKIP("a sanitized build cannot run under valgrind");
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    if (valgrind.isEmpty())
        QSKIP("valgrind is not installed (Debian package valgrind)");

    QDir().mkpath(QStringLiteral(PARLINK_ARTIFACTS_DIR));
    const QString log = QStringLiteral(PARLINK_ARTIFACTS_DIR "/memcheck.log");
    QFile::remove(log);
    const QStringList options{QStringLiteral("--error-exitcode=%1").arg(errorExitCode),
                              QStringLiteral("--leak-check=full"),
                              QStringLiteral("--errors-for-leak-kinds=definite"),
                              QStringLiteral("--show-leak-kinds=definite"),
                              QStringLiteral("--num-callers=40"),
                              QStringLiteral("--suppressions=" PARLINK_MEMCHECK_SUPPRESSIONS),
                              QStringLiteral("--log-file=") + log};

    ObservedParlink parlink;
    parlink.resident().storeRemoteMode(true);
    QVERIFY2(parlink.startWithConsoleUnder(valgrind, options, openWithinMs), qPrintable(logTail(log)));

    const auto reports = [&](int wanted) {
        return parlink.waitUntil([&] { return parlink.outputCount() >= wanted; }, stepWithinMs);
    };
    ObservedParlink::sendStatus("-s incoming");
    QVERIFY(reports(2));
    ObservedParlink::sendStatus("-s connected");
    QVERIFY(parlink.waitUntil([&] { return parlink.ledsFrom(parlink.outputCount() - 1) == QList<int>{0x04}; },
                              stepWithinMs));
    // Connected, so the press takes the hang-up path and its key strokes.
    QVERIFY(parlink.pressAndRelease());
    ObservedParlink::sendStatus(QByteArray("-s bogus\0trailing", 17));
    ObservedParlink::sendStatus(QByteArray(2000, 'x'));

    QCOMPARE(parlink.resident().console({QStringLiteral("unplug")}), 0);
    QVERIFY(parlink.waitUntil([&] { return parlink.count(QStringLiteral("close")) == 1; }, stepWithinMs));
    QCOMPARE(parlink.resident().console({QStringLiteral("plug")}), 0);
    QVERIFY(parlink.waitUntil([&] { return parlink.count(QStringLiteral("open")) == 2; }, stepWithinMs));
    const int beforeHangUp = parlink.outputCount();
    ObservedParlink::sendStatus("-s disconnected");
    QVERIFY(reports(beforeHangUp + 2));

    QProcess& process = parlink.resident().process();
    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY2(process.waitForFinished(endWithinMs), "parlink did not end under valgrind");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, qPrintable(logTail(log)));
    QCOMPARE(parlink.count(QStringLiteral("close")), 2);
}

QTEST_GUILESS_MAIN(TestMemcheck)
#include "tst_memcheck.moc"
