// Command mode of the real executable: what it sends where, what it prints, and how it exits.
#include "parlinkprocess.h"
#include "statuslistener.h"

#include <QtTest>

#include <cstring>
#include <link.h>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sendsToTheChosenDestination_data();
    void sendsToTheChosenDestination();
    void refusesWithoutSending_data();
    void refusesWithoutSending();
    void reportsAFailedSend();
    void helpAndVersion();
    void toolkitOptionsDoNotCount();
    void worksWithoutADisplay();
    void windowModeWithoutADisplaySaysSo();
    void windowLibraryTroubleIsNamed_data();
    void windowLibraryTroubleIsNamed();

private:
    QTemporaryDir home;
    QProcessEnvironment environment;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(home.isValid());
    environment = isolatedEnvironment(home);
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
}

void TestCommandLine::sendsToTheChosenDestination_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("listenOn");
    QTest::addColumn<QByteArray>("payload");

    const QString loopback = QStringLiteral("127.0.0.1");
    QTest::addRow("l before word") << QStringList{"-l", "incoming"} << loopback << QByteArray("-s incoming");
    QTest::addRow("l after word") << QStringList{"incoming", "-l"} << loopback << QByteArray("-s incoming");
    QTest::addRow("connected") << QStringList{"-l", "connected"} << loopback << QByteArray("-s connected");
    QTest::addRow("disconnected") << QStringList{"-l", "disconnected"} << loopback << QByteArray("-s disconnected");
    QTest::addRow("l beats s and u") << QStringList{"-l", "-s", "-u", "::1", "connected"} << loopback
                                     << QByteArray("-s connected");
    QTest::addRow("l beats a bad u") << QStringList{"-l", "-u", "nowhere", "connected"} << loopback
                                     << QByteArray("-s connected");
    QTest::addRow("u with IPv4") << QStringList{"-u", "127.0.0.1", "disconnected"} << loopback
                                 << QByteArray("-s disconnected");
    QTest::addRow("u with IPv6") << QStringList{"-u", "::1", "disconnected"} << QStringLiteral("::1")
                                 << QByteArray("-s disconnected");
    QTest::addRow("last u counts") << QStringList{"-u", "::1", "-u", "127.0.0.1", "incoming"} << loopback
                                   << QByteArray("-s incoming");
    QTest::addRow("first word only") << QStringList{"-l", "incoming", "connected"} << loopback
                                     << QByteArray("-s incoming");
    QTest::addRow("caller number appended")
        << QStringList{"-l", "incoming", "+4930123456"} << loopback << QByteArray("-s incoming");
    QTest::addRow("letters together") << QStringList{"-ls", "incoming"} << loopback << QByteArray("-s incoming");
    QTest::addRow("two dashes") << QStringList{"--l", "incoming"} << loopback << QByteArray("-s incoming");
    QTest::addRow("X11 visual taken by the toolkit")
        << QStringList{"-platform", "xcb", "-visual", "0x21", "-l", "incoming"} << loopback
        << QByteArray("-s incoming");
}

void TestCommandLine::sendsToTheChosenDestination()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, listenOn);
    QFETCH(QByteArray, payload);

    StatusListener listener;
    if (!listener.listen(QHostAddress(listenOn)))
        QSKIP(qPrintable(QStringLiteral("port 6123 is taken here: ") + listener.errorString()));
    const CommandResult result = runParlink(arguments, environment);
    QVERIFY(!result.crashed);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.standardOutput, QByteArray());
    QCOMPARE(result.standardError, QByteArray());
    const QList<QNetworkDatagram> received = listener.receive();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().data(), payload);
}

void TestCommandLine::refusesWithoutSending_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("standardOutput");
    QTest::addColumn<QByteArray>("standardErrorPart");

    QTest::addRow("capital letter") << QStringList{"-l", "Incoming"} << 2 << QByteArray() << QByteArray();
    QTest::addRow("other word") << QStringList{"-l", "ringing"} << 2 << QByteArray() << QByteArray();
    QTest::addRow("other word beats a bad address")
        << QStringList{"-u", "foo", "ringing"} << 2 << QByteArray() << QByteArray();
    QTest::addRow("word with prefix") << QStringList{"-l", "-s incoming"} << 1 << QByteArray() << QByteArray("Unknown");
    QTest::addRow("options only") << QStringList{"-l"} << 1 << QByteArray("No command given\n") << QByteArray();
    QTest::addRow("s alone") << QStringList{"-s"} << 1 << QByteArray("No command given\n") << QByteArray();
    QTest::addRow("unknown option") << QStringList{"-x", "incoming"} << 1 << QByteArray()
                                    << QByteArray("Unknown option 'x'");
    QTest::addRow("u without value") << QStringList{"incoming", "-u"} << 1 << QByteArray()
                                     << QByteArray("Missing value after '-u'");
    QTest::addRow("u with a host name") << QStringList{"-u", "localhost", "incoming"} << 1 << QByteArray()
                                        << QByteArray("\"localhost\" is not a numeric IPv4 or IPv6 address");
    QTest::addRow("u with an empty value")
        << QStringList{"-u", "", "incoming"} << 1 << QByteArray() << QByteArray("\"\" is not a numeric");
}

void TestCommandLine::refusesWithoutSending()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, standardOutput);
    QFETCH(QByteArray, standardErrorPart);

    StatusListener listener;
    if (!listener.listen(QHostAddress::AnyIPv4))
        QSKIP(qPrintable(QStringLiteral("port 6123 is taken here: ") + listener.errorString()));
    const CommandResult result = runParlink(arguments, environment);
    QVERIFY(!result.crashed);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.standardOutput, standardOutput);
    if (standardErrorPart.isEmpty())
        QCOMPARE(result.standardError, QByteArray());
    else
        QVERIFY2(result.standardError.contains(standardErrorPart), result.standardError.constData());
    QCOMPARE(listener.receive().size(), 0);
}

void TestCommandLine::reportsAFailedSend()
{
    // Inside the test's private network namespace only loopback exists, so a broadcast has no route.
    if (qEnvironmentVariableIntValue("PARLINK_NO_NETNS"))
        QSKIP("no private network namespace here, and a broadcast must not leave this machine");
    const CommandResult result = runParlink({"incoming"}, environment);
    QCOMPARE(result.exitCode, 3);
    QVERIFY2(result.standardError.startsWith("parlink: cannot send \"-s incoming\" to 255.255.255.255: "),
             result.standardError.constData());
}

void TestCommandLine::helpAndVersion()
{
    const CommandResult version = runParlink({"--version"}, environment);
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.standardOutput, QByteArray("Parlink 1.0.229.0\n"));

    const CommandResult help = runParlink({"--help"}, environment);
    QCOMPARE(help.exitCode, 0);
    for (const char* part :
         {"Parlink control application", "incoming | connected | disconnected", "Send command by broadcast",
          "Send command to localhost", "Send command to specified host", "<ip_addr>", "Command to send"})
        QVERIFY2(help.standardOutput.contains(part), part);
}

void TestCommandLine::toolkitOptionsDoNotCount()
{
    StatusListener listener;
    if (!listener.listen())
        QSKIP(qPrintable(QStringLiteral("port 6123 is taken here: ") + listener.errorString()));
    const CommandResult result =
        runParlink({"-platform", "offscreen", "--style", "fusion", "-l", "-reverse", "incoming"}, environment);
    QCOMPARE(result.exitCode, 0);
    const QList<QNetworkDatagram> received = listener.receive();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().data(), QByteArray("-s incoming"));
}

void TestCommandLine::worksWithoutADisplay()
{
    StatusListener listener;
    if (!listener.listen())
        QSKIP(qPrintable(QStringLiteral("port 6123 is taken here: ") + listener.errorString()));
    QProcessEnvironment headless = environment;
    headless.remove(QStringLiteral("DISPLAY"));
    headless.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const CommandResult result = runParlink({"-l", "incoming"}, headless);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.standardError, QByteArray());
    QCOMPARE(listener.receive().size(), 1);

    // A hook loads what sending takes, and nothing of the GUI: the dynamic loader lists every library it opens.
    headless.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    const CommandResult traced = runParlink({"-l", "incoming"}, headless);
    QCOMPARE(traced.exitCode, 0);
    const QRegularExpression gui(QStringLiteral("file=\\S*(Qt\\dGui|Qt\\dWidgets|libX11|libxcb|libGL|libEGL|"
                                                "libfreetype|libfontconfig)\\S*"));
    const QRegularExpressionMatch loaded = gui.match(QString::fromLocal8Bit(traced.standardError));
    QVERIFY2(!loaded.hasMatch(), qPrintable(loaded.captured()));
    QVERIFY(traced.standardError.contains("libQt" QT_STRINGIFY(QT_VERSION_MAJOR) "Network"));
    QCOMPARE(listener.receive().size(), 1);
}

void TestCommandLine::windowModeWithoutADisplaySaysSo()
{
    QProcessEnvironment headless = environment;
    headless.remove(QStringLiteral("DISPLAY"));
    headless.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QStringList& arguments : {QStringList{}, QStringList{"-style", "fusion"}}) {
        const CommandResult result = runParlink(arguments, headless);
        QVERIFY(!result.crashed);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.standardError,
                 QByteArray("parlink: cannot open a display: neither DISPLAY nor WAYLAND_DISPLAY is set\n"));
    }
    // A Wayland desktop without XWayland, and no Wayland plug-in of the toolkit: said, not aborted.
    headless.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("parlink-no-such-wayland"));
    const CommandResult waylandOnly = runParlink({}, headless);
    QVERIFY(!waylandOnly.crashed);
    QCOMPARE(waylandOnly.exitCode, 1);
    QVERIFY2(waylandOnly.standardError.contains("parlink: cannot open a display: there is only the Wayland display "
                                                "parlink-no-such-wayland"),
             waylandOnly.standardError.constData());
    headless.remove(QStringLiteral("WAYLAND_DISPLAY"));

    const CommandResult unknownPlatform = runParlink({"-platform", "parlink-no-such-platform"}, headless);
    QCOMPARE(unknownPlatform.exitCode, 1);
    QVERIFY(unknownPlatform.standardError.contains("platform plug-in \"parlink-no-such-platform\" could not start"));

    headless.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    const CommandResult unreachable = runParlink({}, headless);
    QCOMPARE(unreachable.exitCode, 1);
    QVERIFY(unreachable.standardError.startsWith("parlink: cannot open a display: the X server at DISPLAY=:97"));
}

// A byte inside the last segment the dynamic loader maps from the file, read from the ELF program headers.
static qint64 insideLastLoadedSegment(const QByteArray& library)
{
    const auto* header = reinterpret_cast<const ElfW(Ehdr)*>(library.constData());
    ElfW(Phdr) last{};
    for (int index = 0; index < header->e_phnum; ++index) {
        const auto* segment =
            reinterpret_cast<const ElfW(Phdr)*>(library.constData() + header->e_phoff + index * header->e_phentsize);
        if (segment->p_type == PT_LOAD && segment->p_filesz > 0 && segment->p_offset >= last.p_offset)
            last = *segment;
    }
    return qint64(last.p_offset + last.p_filesz / 2);
}

void TestCommandLine::windowLibraryTroubleIsNamed_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("standardError"); // a pattern after the common start; %1 is the program's folder

    const QString damaged =
        QStringLiteral("%1/libparlink-window\\.so is damaged \\(cut short\\); install Parlink again");
    QTest::addRow("cut early") << "cut early" << damaged;
    QTest::addRow("cut inside its last loaded segment") << "cut late" << damaged;
    QTest::addRow("a folder in its place")
        << "folder"
        << "%1/libparlink-window\\.so: .*" + QRegularExpression::escape(QString::fromLocal8Bit(std::strerror(EISDIR)));
    QTest::addRow("missing") << "none" << QStringLiteral("libparlink-window\\.so is neither in %1 nor in %1/\\S+");
    // A whole library lies in the current folder: it must not be taken for the program's own.
    QTest::addRow("no /proc") << "no proc"
                              << QStringLiteral("the program's own folder cannot be found: /proc/self/exe: .+");
}

// Damaged or missing, the window library is named, not crashed on, and not looked for in the wrong place.
void TestCommandLine::windowLibraryTroubleIsNamed()
{
    QFETCH(QString, library);
    QFETCH(QString, standardError);

    const bool withoutProc = library == "no proc";
    QStringList hiddenProc{"-rm", "sh", "-c", "mount -t tmpfs parlink-no-proc /proc && exec \"$0\""};
    if (withoutProc && QProcess::execute(QStringLiteral("unshare"), hiddenProc + QStringList{"true"}) != 0)
        QSKIP("no private mount namespace can be made here to hide /proc");

    QTemporaryDir copy;
    const QFileInfo program(QStringLiteral(PARLINK_EXECUTABLE));
    QFile real(program.dir().filePath(QStringLiteral("libparlink-window.so")));
    QVERIFY(QFile::copy(program.filePath(), copy.filePath("parlink")) && real.open(QIODevice::ReadOnly));
    const QByteArray whole = real.readAll();
    const qint64 length = library == "cut early"  ? 100000
                          : library == "cut late" ? insideLastLoadedSegment(whole)
                          : library == "no proc"  ? whole.size()
                                                  : -1;
    QFile placed(copy.filePath("libparlink-window.so"));
    if (length >= 0)
        QVERIFY(placed.open(QIODevice::WriteOnly) && placed.write(whole.left(length)) == length);
    placed.close();
    QVERIFY(library != "folder" || QDir(copy.path()).mkdir(QStringLiteral("libparlink-window.so")));

    QProcess parlink;
    QProcessEnvironment headless = environment;
    headless.remove(QStringLiteral("DISPLAY"));
    headless.remove(QStringLiteral("WAYLAND_DISPLAY"));
    parlink.setProcessEnvironment(headless);
    parlink.setWorkingDirectory(copy.path());
    hiddenProc.append(copy.filePath("parlink"));
    parlink.start(withoutProc ? QStringLiteral("unshare") : copy.filePath("parlink"),
                  withoutProc ? hiddenProc : QStringList());
    QVERIFY(parlink.waitForFinished(10000));
    QCOMPARE(parlink.exitStatus(), QProcess::NormalExit);
    // A sanitizer's runtime has its own say without /proc ("==pid==WARNING: ..."); only the program's lines count.
    QString said = QString::fromLocal8Bit(parlink.readAllStandardError());
    said.remove(QRegularExpression(QStringLiteral("^==\\d+==.*\n"), QRegularExpression::MultilineOption));
    const QRegularExpression expected(QRegularExpression::anchoredPattern(
        "parlink: cannot start the tray program: " +
        standardError.replace(QStringLiteral("%1"), QRegularExpression::escape(copy.path())) + "\n"));
    QVERIFY2(expected.match(said).hasMatch(), qPrintable(said));
    QCOMPARE(parlink.exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
