// An X server without the XTEST extension: the real parlink says once, at start and on the desktop, that the switch
// cannot send keys there, and everything else, the window, the console link and the LEDs, works as usual.
#include "observedparlink.h"
#include "xdesktop.h"
#include "xvfbserver.h"

#include <QtTest>

class TestNoXTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void warnsOnceAndWorks_data();
    void warnsOnceAndWorks();
};

void TestNoXTest::initTestCase()
{
    if (XvfbServer::executable().isEmpty())
        QSKIP("Xvfb is not installed (Debian package xvfb)");
}

void TestNoXTest::warnsOnceAndWorks_data()
{
    QTest::addColumn<QStringList>("serverArguments");
    QTest::addColumn<int>("warnings");

    QTest::addRow("XTEST offered") << QStringList() << 0;
    QTest::addRow("XTEST left out") << QStringList{"-extension", "XTEST"} << 1;
}

void TestNoXTest::warnsOnceAndWorks()
{
    QFETCH(QStringList, serverArguments);
    QFETCH(int, warnings);

    XvfbServer server;
    QVERIFY2(server.start(serverArguments), qPrintable(server.errorString()));
    ObservedParlink parlink;
    parlink.resident().useDisplay(server.display());
    QVERIFY(parlink.startWithConsole());
    // No tray on a bare X server: the window shows itself, as the only way in.
    XDesktop desktop(server.display());
    QVERIFY(desktop.isValid());
    const auto shown = [&](const char* title) {
        int windows = 0;
        for (const DesktopWindow& window : desktop.windowsOf(parlink.resident().process().processId()))
            windows += window.viewable && window.title == QLatin1String(title);
        return windows;
    };
    QVERIFY(parlink.waitUntil([&] { return shown("Parlink v1.0.229.0") == 1; }));
    // Said on the desktop too, where the user of a Parlink that autostart started sees it: in a box, without a tray.
    QVERIFY(parlink.waitUntil([&] { return shown("Parlink") == warnings; }));

    // Internal mode: the press that would send the answer keys lights the connect LED all the same.
    const int before = parlink.outputCount();
    QVERIFY(parlink.pressAndRelease());
    QVERIFY(parlink.pressAndRelease());
    QCOMPARE(parlink.ledsFrom(before), (QList<int>{0x04, 0x00}));
    QVERIFY(parlink.resident().terminate());

    const QStringList said = parlink.errorLinesContaining(QStringLiteral("cannot send keys"));
    QCOMPARE(said.size(), warnings);
    if (warnings)
        QVERIFY2(said.first().contains(QLatin1String("XTEST")), qPrintable(said.first()));
}

QTEST_GUILESS_MAIN(TestNoXTest)
#include "tst_noxtest.moc"
