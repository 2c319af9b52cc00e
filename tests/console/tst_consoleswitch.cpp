// Which switch movements the console link reports as a click, on every console model, and which reads it ignores.
#include "consolelinkdriver.h"
#include "fakehid.h"

#include <QSignalSpy>
#include <QtTest>

class TestConsoleSwitch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void edges_data();
    void edges();
    void ignoredReads_data();
    void ignoredReads();
    void clickHandlerSeesTheOldImage();
    void emptyPollDoesNothing();
};

void TestConsoleSwitch::init()
{
    fakehid::reset();
}

void TestConsoleSwitch::edges_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QList<int>>("inputs");
    // One mark per input report: x where connect_clicked is emitted, . where not.
    QTest::addColumn<QString>("clicks");

    for (int model : {0, 1, 2, 3, 4, -1}) {
        const bool bothEdges = model == 2;
        QTest::addRow("model %d: press and release twice", model)
            << model << QList<int>{0x01, 0x00, 0x01, 0x00} << (bothEdges ? ".xxx" : ".x.x");
        QTest::addRow("model %d: first report after opening at level 0", model) << model << QList<int>{0x00} << "x";
        QTest::addRow("model %d: first report at level 1", model) << model << QList<int>{0x01} << ".";
        QTest::addRow("model %d: a held level counts once", model)
            << model << QList<int>{0x00, 0x00, 0x00, 0x01, 0x01, 0x01} << (bothEdges ? "x..x.." : "x.....");
        QTest::addRow("model %d: LED bits alone are no movement", model)
            << model << QList<int>{0x03, 0x05, 0x07, 0xf9} << "....";
    }
    QTest::addRow("other bits change along with the level") << 0 << QList<int>{0xfe, 0x07, 0x02} << "x.x";
}

void TestConsoleSwitch::edges()
{
    QFETCH(int, model);
    QFETCH(QList<int>, inputs);
    QFETCH(QString, clicks);

    ConsoleLinkDriver driver(model);
    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);
    QVERIFY(clicked.isValid());
    QVERIFY(driver.open());
    QString seen;
    for (int byte1 : inputs) {
        const int before = clicked.count();
        driver.receive(byte1);
        seen += clicked.count() == before       ? QLatin1Char('.')
                : clicked.count() == before + 1 ? QLatin1Char('x')
                                                : QLatin1Char('!');
    }
    QCOMPARE(seen, clicks);
    QVERIFY(fakehid::outputs().empty());
}

void TestConsoleSwitch::ignoredReads_data()
{
    QTest::addColumn<int>("failedRead");
    QTest::addColumn<QByteArray>("queued");

    // A read of anything but 4 bytes carries zeros here: taken as a report it would be a press and clear the LEDs.
    QTest::addRow("nothing waiting") << 0 << QByteArray();
    for (int length : {1, 2, 3, 5})
        QTest::addRow("%d bytes read", length) << length << QByteArray();
    QTest::addRow("a read beyond the buffer") << 64 << QByteArray();
    QTest::addRow("3-byte report") << -2 << QByteArray(3, '\0');
    QTest::addRow("5-byte report") << -2 << QByteArray(5, '\0');
    QTest::addRow("long report cut to the 5-byte buffer") << -2 << QByteArray(9, '\0');
}

void TestConsoleSwitch::ignoredReads()
{
    QFETCH(int, failedRead);
    QFETCH(QByteArray, queued);

    ConsoleLinkDriver driver;
    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);
    QVERIFY(driver.open());
    driver.run(QStringLiteral("read 07"));
    if (failedRead >= 0)
        fakehid::failNextRead(failedRead);
    else
        fakehid::queueInput(std::vector<unsigned char>(queued.begin(), queued.end()));

    driver.poll();
    QCOMPARE(clicked.count(), 0);
    QVERIFY(driver.link().isConnected());
    // The image is still the last real report (07): only the incoming bit goes out.
    driver.link().setIncomingLed(false);
    QCOMPARE(outputReports(), reports({"00 00 05 07 00"}));
    // And the level is still 1: a report at 1 is no movement, one at 0 is.
    driver.receive(0x05);
    QCOMPARE(clicked.count(), 0);
    driver.receive(0x04);
    QCOMPARE(clicked.count(), 1);
}

void TestConsoleSwitch::clickHandlerSeesTheOldImage()
{
    ConsoleLinkDriver driver;
    QVERIFY(driver.open());
    CHidVoip& link = driver.link();
    link.setIncomingLed(true);
    QObject::connect(&link, &CHidVoip::connect_clicked, &link, [&link] { link.setConnectLed(true); });

    // The click is emitted before the report's byte becomes the image, and the report then replaces it.
    driver.receive(0x00);
    link.setIncomingLed(false);
    QCOMPARE(outputReports(), reports({"00 00 03 07 00", "00 00 07 07 00", "00 00 01 07 00"}));
}

void TestConsoleSwitch::emptyPollDoesNothing()
{
    ConsoleLinkDriver driver;
    QSignalSpy clicked(&driver.link(), &CHidVoip::connect_clicked);
    QVERIFY(driver.open());
    for (int tick = 0; tick < 100; ++tick)
        driver.poll();
    QCOMPARE(clicked.count(), 0);
    QVERIFY(driver.link().isConnected());
    QVERIFY(fakehid::outputs().empty());
}

QTEST_GUILESS_MAIN(TestConsoleSwitch)
#include "tst_consoleswitch.moc"
