#include "residentparlink.h"

#include "parlinkprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <csignal>

ResidentParlink::ResidentParlink() : homeDir(std::make_unique<QTemporaryDir>())
{
    consoleDir = homeDir->path() + QStringLiteral("/console");
    QProcessEnvironment environment = isolatedEnvironment(*homeDir);
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

ResidentParlink::~ResidentParlink()
{
    if (parlink.state() != QProcess::NotRunning) {
        parlink.kill();
        parlink.waitForFinished(5000);
    }
}

QString ResidentParlink::settingsFile() const
{
    return homeDir->path() + QStringLiteral("/config/Orvanta/Parlink.conf");
}

void ResidentParlink::storeRemoteMode(bool remote)
{
    QSettings stored(settingsFile(), QSettings::IniFormat);
    stored.setValue(QStringLiteral("connect_led_internal"), !remote);
}

void ResidentParlink::useDisplay(const QByteArray& display)
{
    QProcessEnvironment environment = parlink.processEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    parlink.setProcessEnvironment(environment);
}

bool ResidentParlink::start(const QStringList& arguments)
{
    parlink.start(QStringLiteral(PARLINK_EXECUTABLE), arguments);
    return parlink.waitForStarted(10000);
}

bool ResidentParlink::startWithConsole(const QStringList& arguments)
{
    if (console({QStringLiteral("plug")}) != 0 || !start(arguments))
        return false;
    QElapsedTimer elapsed;
    elapsed.start();
    // Opening the console also sets both of its LEDs to the call as it stands: two reports.
    while (!events().contains(QStringLiteral("open")) || outputs().size() < 2) {
        if (elapsed.elapsed() > 15000 || parlink.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool ResidentParlink::terminate()
{
    ::kill(pid_t(parlink.processId()), SIGTERM);
    return parlink.waitForFinished(10000) && parlink.exitStatus() == QProcess::NormalExit && parlink.exitCode() == 0;
}

bool ResidentParlink::sendReports(const QStringList& reports)
{
    QFile input(consoleDir + QStringLiteral("/input"));
    const QByteArray lines = reports.join(QLatin1Char('\n')).toLatin1() + '\n';
    return input.open(QIODevice::Append) && input.write(lines) == lines.size();
}

int ResidentParlink::console(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral(FAKEHID_CTL), QStringList{QStringLiteral("--dir"), consoleDir} + arguments);
}

QList<QByteArray> ResidentParlink::linesOf(const char* name) const
{
    QFile file(consoleDir + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

QStringList ResidentParlink::events() const
{
    QStringList names;
    for (const QByteArray& line : linesOf("events"))
        names.append(QString::fromLatin1(line.split(' ').value(1)));
    return names;
}

QList<QByteArray> ResidentParlink::outputs() const
{
    QList<QByteArray> reports;
    for (const TimedReport& report : timedOutputs())
        reports.append(report.bytes);
    return reports;
}

QList<TimedReport> ResidentParlink::timedOutputs() const
{
    QList<TimedReport> reports;
    for (const QByteArray& line : linesOf("output")) {
        const int blank = line.indexOf(' ');
        reports.append({line.left(blank).toLongLong(), QByteArray::fromHex(line.mid(blank + 1))});
    }
    return reports;
}
