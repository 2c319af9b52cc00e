// The real parlink with the simulated console preloaded in place of hidapi: it finds the console, follows the
// switch, lets go when it is pulled out, takes it back when it returns, and leaves the connect LED off on SIGTERM.
#include "parlinkprocess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int startAndOpenMs = 15000;
constexpr int reopenMs = 10000;

} // namespace

class TestConsoleEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void plugUnplugReplug();

private:
    int control(const QStringList& arguments);
    QStringList events() const;
    QList<QByteArray> outputs() const;
    QList<QByteArray> linesOf(const char* name) const;

    std::unique_ptr<QTemporaryDir> home;
    QString consoleDir;
    QProcess parlink;
};

void TestConsoleEndToEnd::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    consoleDir = home->path() + QStringLiteral("/console");

    QProcessEnvironment environment = isolatedEnvironment(*home);
    QString preload = QStringLiteral(FAKEHID_PRELOAD);
    if (environment.contains(QStringLiteral("LD_PRELOAD")))
        preload += QLatin1Char(':') + environment.value(QStringLiteral("LD_PRELOAD"));
    environment.insert(QStringLiteral("LD_PRELOAD"), preload);
    environment.insert(QStringLiteral("FAKEHID_DIR"), consoleDir);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // In a sanitized build the preloaded double comes before the sanitizer's runtime, which is fine here.
    QString sanitizerOptions = environment.value(QStringLiteral("ASAN_OPTIONS"));
    if (!sanitizerOptions.contains(QLatin1String("verify_asan_link_order")))
        sanitizerOptions += QStringLiteral(":verify_asan_link_order=0");
    environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizerOptions);
    parlink.setProcessEnvironment(environment);
    parlink.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

void TestConsoleEndToEnd::cleanup()
{
    if (parlink.state() != QProcess::NotRunning) {
        parlink.kill();
        parlink.waitForFinished(5000);
    }
}

int TestConsoleEndToEnd::control(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral(FAKEHID_CTL), QStringList{QStringLiteral("--dir"), consoleDir} + arguments);
}

QList<QByteArray> TestConsoleEndToEnd::linesOf(const char* name) const
{
    QFile file(consoleDir + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

// "init", "open", "input", "close", "exit" in order.
QStringList TestConsoleEndToEnd::events() const
{
    QStringList names;
    for (const QByteArray& line : linesOf("events"))
        names.append(QString::fromLatin1(line.split(' ').value(1)));
    return names;
}

QList<QByteArray> TestConsoleEndToEnd::outputs() const
{
    QList<QByteArray> reports;
    for (const QByteArray& line : linesOf("output"))
        reports.append(QByteArray::fromHex(line.mid(line.indexOf(' ') + 1)));
    return reports;
}

void TestConsoleEndToEnd::plugUnplugReplug()
{
    QCOMPARE(control({QStringLiteral("plug")}), 0);
    parlink.start(QStringLiteral(PARLINK_EXECUTABLE), QStringList());
    QVERIFY(parlink.waitForStarted(10000));

    QTRY_COMPARE_WITH_TIMEOUT(events(), (QStringList{"init", "open"}), startAndOpenMs);

    // A fresh installation is in internal mode: a press lights the connect LED.
    QCOMPARE(control({QStringLiteral("press")}), 0);
    QTRY_VERIFY(!outputs().isEmpty());
    QCOMPARE(outputs().constLast(), QByteArray::fromHex("0000050700"));
    QCOMPARE(control({QStringLiteral("release")}), 0);
    QTRY_COMPARE(events(), (QStringList{"init", "open", "input", "input"}));

    QCOMPARE(control({QStringLiteral("unplug")}), 0);
    QTRY_COMPARE(events(), (QStringList{"init", "open", "input", "input", "close", "exit"}));

    QCOMPARE(control({QStringLiteral("plug")}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(events().mid(6), (QStringList{"init", "open"}), reopenMs);
    QCOMPARE(control({QStringLiteral("wait-open"), QStringLiteral("1")}), 0);

    const int reportsBeforeQuit = outputs().size();
    ::kill(pid_t(parlink.processId()), SIGTERM);
    QVERIFY(parlink.waitForFinished(10000));
    QCOMPARE(parlink.exitStatus(), QProcess::NormalExit);
    QCOMPARE(parlink.exitCode(), 0);
    QCOMPARE(events().mid(8), (QStringList{"close", "exit"}));
    // The way out: one report that puts the connect LED out, the image kept over the replug.
    QCOMPARE(outputs().size(), reportsBeforeQuit + 1);
    QCOMPARE(outputs().constLast(), QByteArray::fromHex("0000010700"));
}

QTEST_GUILESS_MAIN(TestConsoleEndToEnd)
#include "tst_consolee2e.moc"
