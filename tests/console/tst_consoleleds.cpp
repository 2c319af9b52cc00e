// The exact output reports behind the two LEDs on every console model, a model change and the last report.
#include "consolelinkdriver.h"
#include "fakehid.h"
#include "messagecapture.h"

#include <QtTest>

class TestConsoleLeds : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void ledReports_data();
    void ledReports();
    void closedLinkOnlyRemembers();
    void modelChange_data();
    void modelChange();
    void lastReport_data();
    void lastReport();
};

void TestConsoleLeds::init()
{
    fakehid::reset();
}

void TestConsoleLeds::ledReports_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("model 0: incoming on, off, connect on")
        << 0 << "incoming on, incoming off, connect on"
        << QStringList{"00 00 03 07 00", "00 00 01 07 00", "00 00 05 07 00"};
    QTest::addRow("model 1: separate LEDs") << 1 << "incoming on, connect on, incoming off"
                                            << QStringList{"00 00 03 07 00", "00 00 07 07 00", "00 00 05 07 00"};
    QTest::addRow("model 2: separate LEDs") << 2 << "connect on, incoming on, connect off"
                                            << QStringList{"00 00 05 07 00", "00 00 07 07 00", "00 00 03 07 00"};
    QTest::addRow("model 3: connect on") << 3 << "connect on" << QStringList{"00 00 03 07 00"};
    QTest::addRow("model 4: connect on") << 4 << "connect on" << QStringList{"00 00 03 07 00"};
    QTest::addRow("model 3: incoming is the connect LED")
        << 3 << "incoming on, connect off" << QStringList{"00 00 03 07 00", "00 00 01 07 00"};
    QTest::addRow("model 4: incoming off puts the connect LED out")
        << 4 << "connect on, incoming off" << QStringList{"00 00 03 07 00", "00 00 01 07 00"};
    QTest::addRow("model -1 shares the LED like 3")
        << -1 << "connect on, incoming on, incoming off"
        << QStringList{"00 00 03 07 00", "00 00 03 07 00", "00 00 01 07 00"};
    QTest::addRow("model 5 shares the LED like 3") << 5 << "incoming on" << QStringList{"00 00 03 07 00"};
    QTest::addRow("an input of 00 clears the incoming bit")
        << 0 << "incoming on, read 00, connect on" << QStringList{"00 00 03 07 00", "00 00 05 07 00"};
    QTest::addRow("LED bits the console reports become the image")
        << 0 << "connect on, read 03, connect off" << QStringList{"00 00 05 07 00", "00 00 03 07 00"};
    QTest::addRow("bits 3 to 7 of the input go out unchanged")
        << 0 << "read f8, connect on, incoming on" << QStringList{"00 00 fd 07 00", "00 00 ff 07 00"};
    QTest::addRow("model 3: bits 2 to 7 of the input go out unchanged")
        << 3 << "read a4, connect on" << QStringList{"00 00 a7 07 00"};
    QTest::addRow("bit 0 is forced on at switch level 0")
        << 0 << "read 00, incoming off" << QStringList{"00 00 01 07 00"};
    QTest::addRow("reads alone send nothing") << 2 << "read 00, read 07, read 01" << QStringList{};
}

void TestConsoleLeds::ledReports()
{
    QFETCH(int, model);
    QFETCH(QString, steps);
    QFETCH(QStringList, expected);

    ConsoleLinkDriver driver(model);
    QVERIFY(driver.open());
    driver.run(steps);
    QCOMPARE(outputReports(), reports(expected));
}

void TestConsoleLeds::closedLinkOnlyRemembers()
{
    ConsoleLinkDriver driver;
    driver.run(QStringLiteral("incoming on, connect on, connect off"));
    QCOMPARE(fakehid::deviceCalls(), 0);

    QVERIFY(driver.open());
    driver.link().setConnectLed(true);
    // The incoming bit set while closed is still part of the image.
    QCOMPARE(outputReports(), reports({"00 00 07 07 00"}));
}

void TestConsoleLeds::modelChange_data()
{
    QTest::addColumn<int>("oldModel");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("newModel");
    QTest::addColumn<QStringList>("expected");

    // Both LEDs go out under the old model; then the new model's connect LED is lit to show which bit it uses.
    QTest::addRow("0 to 3 with both lit")
        << 0 << "incoming on, connect on" << 3 << QStringList{"00 00 05 07 00", "00 00 01 07 00", "00 00 03 07 00"};
    QTest::addRow("0 to 0 with the connect LED lit")
        << 0 << "connect on" << 0 << QStringList{"00 00 05 07 00", "00 00 01 07 00", "00 00 05 07 00"};
    QTest::addRow("3 to 0 with the shared LED lit")
        << 3 << "connect on" << 0 << QStringList{"00 00 01 07 00", "00 00 01 07 00", "00 00 05 07 00"};
    // Model 3 clears only bit 1: bit 2, lit by the console's own report, stays on under the old model's rules.
    QTest::addRow("3 to 1 with bit 2 reported lit")
        << 3 << "read 05" << 1 << QStringList{"00 00 05 07 00", "00 00 05 07 00", "00 00 05 07 00"};
    QTest::addRow("2 to -1") << 2 << "incoming on" << -1
                             << QStringList{"00 00 01 07 00", "00 00 01 07 00", "00 00 03 07 00"};
}

void TestConsoleLeds::modelChange()
{
    QFETCH(int, oldModel);
    QFETCH(QString, before);
    QFETCH(int, newModel);
    QFETCH(QStringList, expected);

    ConsoleLinkDriver driver(oldModel);
    QVERIFY(driver.open());
    driver.run(before);
    fakehid::clearOutputs();

    MessageCapture messages;
    driver.link().onConsoleChanged(newModel);
    QCOMPARE(messages.debugMessages(), QStringList{QStringLiteral("onConsoleChanged")});
    QCOMPARE(outputReports().size(), 2);
    driver.link().setConnectLed(true);
    QCOMPARE(outputReports(), reports(expected));
}

void TestConsoleLeds::lastReport_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("model 0 open: incoming off, then connect off")
        << 0 << true << "incoming on, connect on" << QStringList{"00 00 05 07 00", "00 00 01 07 00"};
    QTest::addRow("model 2 open, nothing lit") << 2 << true << "" << QStringList{"00 00 01 07 00", "00 00 01 07 00"};
    QTest::addRow("model 3 open: the shared LED goes out")
        << 3 << true << "connect on" << QStringList{"00 00 01 07 00", "00 00 01 07 00"};
    QTest::addRow("closed: nothing sent") << 0 << false << "connect on" << QStringList{};
}

void TestConsoleLeds::lastReport()
{
    QFETCH(int, model);
    QFETCH(bool, open);
    QFETCH(QString, before);
    QFETCH(QStringList, expected);

    ConsoleLinkDriver driver(model);
    if (open)
        QVERIFY(driver.open());
    driver.run(before);
    fakehid::clearOutputs();

    driver.destroy();
    QCOMPARE(outputReports(), reports(expected));
    // The double aborts on hid_close with a null handle and on hid_exit under an open one.
    QCOMPARE(fakehid::closes(), open ? 1 : 0);
    QCOMPARE(fakehid::exits(), 1);
    QVERIFY(!fakehid::isOpen());
}

QTEST_GUILESS_MAIN(TestConsoleLeds)
#include "tst_consoleleds.moc"
