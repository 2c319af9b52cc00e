// Which arguments the toolkit would take for itself, decided before any application object exists.
#include "app/toolkitarguments.h"

#include <QtTest>

class TestToolkitArguments : public QObject
{
    Q_OBJECT

private slots:
    void removesWhatTheToolkitTakes_data();
    void removesWhatTheToolkitTakes();
};

void TestToolkitArguments::removesWhatTheToolkitTakes_data()
{
    QTest::addColumn<QString>("defaultPlatform");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QString>("platform");

    const QString xcb = QStringLiteral("xcb");
    QTest::addRow("nothing") << xcb << QStringList{} << QStringList{} << xcb;
    QTest::addRow("word only") << xcb << QStringList{"incoming"} << QStringList{"incoming"} << xcb;
    QTest::addRow("style value") << xcb << QStringList{"-style", "fusion"} << QStringList{} << xcb;
    QTest::addRow("style two dashes") << xcb << QStringList{"--style", "fusion"} << QStringList{} << xcb;
    QTest::addRow("style attached") << xcb << QStringList{"-style=fusion", "incoming"} << QStringList{"incoming"}
                                    << xcb;
    QTest::addRow("style without value stays") << xcb << QStringList{"-style"} << QStringList{"-style"} << xcb;
    QTest::addRow("stylesheet") << xcb << QStringList{"-stylesheet", "a.qss", "--stylesheet=b.qss"} << QStringList{}
                                << xcb;
    QTest::addRow("platform") << xcb << QStringList{"-platform", "offscreen", "incoming"} << QStringList{"incoming"}
                              << QStringLiteral("offscreen");
    QTest::addRow("platform two dashes") << xcb << QStringList{"--platform", "minimal"} << QStringList{}
                                         << QStringLiteral("minimal");
    QTest::addRow("platform without value goes") << xcb << QStringList{"-platform"} << QStringList{} << xcb;
    QTest::addRow("platform plugin path and theme")
        << xcb << QStringList{"-platformpluginpath", "/p", "-platformtheme", "gtk3", "-l"} << QStringList{"-l"} << xcb;
    QTest::addRow("geometry title icon on xcb")
        << xcb << QStringList{"-geometry", "1x1", "-title", "t", "-icon", "i", "x"} << QStringList{"x"} << xcb;
    QTest::addRow("short geometry kept off xcb") << QStringLiteral("offscreen") << QStringList{"-geometry", "1x1"}
                                                 << QStringList{"-geometry", "1x1"} << QStringLiteral("offscreen");
    QTest::addRow("qwindow options anywhere")
        << QStringLiteral("offscreen")
        << QStringList{"-qwindowgeometry", "1x1", "--qwindowtitle", "t", "-qwindowicon", "i"} << QStringList{}
        << QStringLiteral("offscreen");
    QTest::addRow("reverse") << xcb << QStringList{"-reverse", "--reverse", "connected"} << QStringList{"connected"}
                             << xcb;
    QTest::addRow("session") << xcb << QStringList{"-session", "abc", "incoming"} << QStringList{"incoming"} << xcb;
    QTest::addRow("session without value stays") << xcb << QStringList{"-session"} << QStringList{"-session"} << xcb;
    QTest::addRow("display on xcb") << xcb << QStringList{"-display", ":1"} << QStringList{} << xcb;
    QTest::addRow("display kept off xcb") << xcb << QStringList{"-platform", "offscreen", "-display", ":1"}
                                          << QStringList{"-display", ":1"} << QStringLiteral("offscreen");
    QTest::addRow("plugin") << xcb << QStringList{"-plugin", "evdevkeyboard", "--plugin", "x"} << QStringList{} << xcb;
    QTest::addRow("our options stay") << xcb << QStringList{"-l", "-s", "-u", "::1", "--help"}
                                      << QStringList{"-l", "-s", "-u", "::1", "--help"} << xcb;
    QTest::addRow("value that looks like an option")
        << xcb << QStringList{"-style", "-l", "incoming"} << QStringList{"incoming"} << xcb;
    QTest::addRow("qml debugger") << xcb << QStringList{"-qmljsdebugger=port:1", "-widgetcount"} << QStringList{}
                                  << xcb;
}

void TestToolkitArguments::removesWhatTheToolkitTakes()
{
    QFETCH(QString, defaultPlatform);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, remaining);
    QFETCH(QString, platform);

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
    QCOMPARE(left, remaining);
    QCOMPARE(QString::fromStdString(result.platform), platform);
}

QTEST_GUILESS_MAIN(TestToolkitArguments)
#include "tst_toolkitarguments.moc"
