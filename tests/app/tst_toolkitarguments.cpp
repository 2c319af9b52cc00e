// Which arguments the toolkit would take for itself, decided before any application object exists, checked
// against what a real widget application on the same platform leaves.
#include "app/toolkitarguments.h"
#include "xvfbserver.h"

#include <QApplication>
#include <QtTest>

namespace {

// In the child: what the toolkit left of the command line, one argument a line, then the platform it chose.
int printWhatTheToolkitLeaves(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    for (int i = 1; i < argc; ++i)
        out << QString::fromLocal8Bit(argv[i]) << '\n';
    out << "platform=" << QGuiApplication::platformName() << '\n';
    return 0;
}

} // namespace

class TestToolkitArguments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void removesWhatTheToolkitTakes_data();
    void removesWhatTheToolkitTakes();

private:
    XvfbServer xvfb;
};

void TestToolkitArguments::initTestCase()
{
    if (!xvfb.start())
        QSKIP(qPrintable(xvfb.errorString()));
}

void TestToolkitArguments::removesWhatTheToolkitTakes_data()
{
    QTest::addColumn<QString>("defaultPlatform");
    QTest::addColumn<QStringList>("arguments");

    const QString xcb = QStringLiteral("xcb");
    const QString offscreen = QStringLiteral("offscreen");
    // "DISPLAY" stands for the private X server's display.
    QTest::addRow("nothing") << xcb << QStringList{};
    QTest::addRow("word only") << xcb << QStringList{"incoming"};
    QTest::addRow("style value") << xcb << QStringList{"-style", "fusion"};
    QTest::addRow("style two dashes") << xcb << QStringList{"--style", "fusion"};
    QTest::addRow("style attached") << xcb << QStringList{"-style=fusion", "incoming"};
    QTest::addRow("style without value stays") << xcb << QStringList{"-style"};
    QTest::addRow("stylesheet") << xcb << QStringList{"-stylesheet", "a.qss", "--stylesheet=b.qss"};
    QTest::addRow("platform") << xcb << QStringList{"-platform", "offscreen", "incoming"};
    QTest::addRow("platform two dashes") << xcb << QStringList{"--platform", "minimal"};
    QTest::addRow("platform without value goes") << xcb << QStringList{"-l", "-platform"};
    QTest::addRow("platform plugin path and theme")
        << xcb << QStringList{"-platformpluginpath", "/p", "-platformtheme", "none", "-l"};
    QTest::addRow("geometry title icon on xcb")
        << xcb << QStringList{"-geometry", "1x1", "-title", "t", "-icon", "i", "x"};
    QTest::addRow("short geometry kept off xcb") << offscreen << QStringList{"-geometry", "1x1"};
    QTest::addRow("qwindow options anywhere")
        << offscreen << QStringList{"-qwindowgeometry", "1x1", "--qwindowtitle", "t", "-qwindowicon", "i"};
    QTest::addRow("reverse") << xcb << QStringList{"-reverse", "--reverse", "connected"};
    QTest::addRow("session") << xcb << QStringList{"-session", "abc", "incoming"};
    QTest::addRow("session without value stays") << xcb << QStringList{"-session"};
    QTest::addRow("display on xcb") << xcb << QStringList{"-display", "DISPLAY"};
    QTest::addRow("display kept off xcb") << xcb << QStringList{"-platform", "offscreen", "-display", ":1"};
    QTest::addRow("name and grabs on xcb") << xcb << QStringList{"-name", "n", "-nograb", "--dograb", "incoming"};
    QTest::addRow("visual on xcb") << xcb << QStringList{"-visual", "0x21", "incoming"};
    QTest::addRow("visual without value stays") << xcb << QStringList{"incoming", "-visual"};
    QTest::addRow("visual kept off xcb") << offscreen << QStringList{"-visual", "0x21", "incoming"};
    QTest::addRow("plugin") << xcb << QStringList{"-plugin", "none", "--plugin", "x"};
    QTest::addRow("our options stay") << xcb << QStringList{"-l", "-s", "-u", "::1", "--help"};
    QTest::addRow("value that looks like an option") << xcb << QStringList{"-style", "-l", "incoming"};
    QTest::addRow("qml debugger and widget count") << xcb << QStringList{"-qmljsdebugger=port:1", "-widgetcount"};
    QTest::addRow("obsolete debug flags") << xcb << QStringList{"-qdevel", "-qdebug", "incoming"};
}

void TestToolkitArguments::removesWhatTheToolkitTakes()
{
    QFETCH(QString, defaultPlatform);
    QFETCH(QStringList, arguments);
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DISPLAY$")), QString::fromLatin1(xvfb.display()));

    std::vector<QByteArray> storage{QByteArray("parlink")};
    for (const QString& argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    const ToolkitArguments result = withoutToolkitOptions(int(argv.size()), argv.data(), defaultPlatform.toStdString());
    QStringList left;
    for (size_t i = 1; i < result.remaining.size(); ++i)
        left.append(QString::fromUtf8(result.remaining[i]));
    QCOMPARE(QString::fromUtf8(result.remaining.at(0)), QStringLiteral("parlink"));

    QProcess toolkit;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PARLINK_TOOLKIT_ORACLE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), defaultPlatform);
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(xvfb.display()));
    toolkit.setProcessEnvironment(environment);
    toolkit.start(QCoreApplication::applicationFilePath(), arguments);
    QVERIFY(toolkit.waitForFinished(30000));
    QVERIFY2(toolkit.exitStatus() == QProcess::NormalExit && toolkit.exitCode() == 0,
             toolkit.readAllStandardError().constData());
    QStringList expected = QString::fromLocal8Bit(toolkit.readAllStandardOutput()).split(QLatin1Char('\n'));
    expected.removeLast(); // after the last line end
    const QString platform = expected.takeLast().mid(int(qstrlen("platform=")));

    QCOMPARE(left, expected);
    QCOMPARE(QString::fromStdString(result.platform), platform);
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet("PARLINK_TOOLKIT_ORACLE"))
        return printWhatTheToolkitLeaves(argc, argv);
    QCoreApplication app(argc, argv);
    TestToolkitArguments test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_toolkitarguments.moc"
