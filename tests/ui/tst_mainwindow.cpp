// The window as the entry builds it: selectors, title, tray menu, closing and quitting, and a taken port.
#include "control/keytable.h"
#include "fakehid.h"
#include "messagecapture.h"
#include "testmain.h"
#include "windowprobe.h"

#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QUdpSocket>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void keySelectorsHoldTheKeyTable();
    void titleAndTray();
    void slotsInOrder();
    void withoutATrayTheWindowShowsAndClosingQuits();
    void quitStoresTheSettingsAndEndsTheLoop();
    void takenPortIsReportedOnce();
    void largerFontsGetRoom_data();
    void largerFontsGetRoom();
};

void TestMainWindow::init()
{
    fakehid::reset();
    QSettings().clear();
}

void TestMainWindow::keySelectorsHoldTheKeyTable()
{
    WindowProbe probe;
    for (const char* name : {"connect_1", "connect_2", "connect_3", "hangup_1", "hangup_2", "hangup_3"}) {
        QComboBox* selector = probe.selector(name);
        QCOMPARE(selector->count(), KeyTable::count);
        for (int index = 0; index < KeyTable::count; ++index)
            QCOMPARE(selector->itemText(index), KeyTable::name(index));
    }
    QCOMPARE(probe.selector("comboBox_console")->count(), 5);
}

void TestMainWindow::titleAndTray()
{
    WindowProbe probe;
    QCOMPARE(probe.window().windowTitle(), QStringLiteral("Parlink v1.0.229.0"));

    auto* tray = probe.window().findChild<QSystemTrayIcon*>();
    QVERIFY(tray);
    QCOMPARE(tray->toolTip(), QStringLiteral("Parlink"));
    QVERIFY(tray->isVisible());
    QVERIFY(!tray->icon().isNull());
    const QImage image(QStringLiteral(":/resources/png/PeltraVoip.png"));
    QCOMPARE(image.size(), QSize(512, 512));
    QVERIFY(image.hasAlphaChannel());

    QMenu* menu = tray->contextMenu();
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("MyMenu"));
    QStringList entries;
    for (QAction* action : menu->actions()) {
        entries.append(action->text());
        QVERIFY(action->shortcut().isEmpty());
    }
    QCOMPARE(entries, QStringList({"Quit", "Settings"}));
}

void TestMainWindow::slotsInOrder()
{
    const QMetaObject* meta = &MainWindow::staticMetaObject;
    QStringList slotList;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        QCOMPARE(meta->method(i).access(), QMetaMethod::Private);
        slotList.append(QString::fromLatin1(meta->method(i).methodSignature()));
    }
    QCOMPARE(slotList, QStringList({"closeEvent(QCloseEvent*)", "close_exit()",
                                    "processKeystroke(QComboBox*,QComboBox*,QComboBox*)", "readSettings()",
                                    "writeSettings()", "connect_clicked()", "timeout()", "onReadyRead()",
                                    "on_radioButton_conn_led_internal_toggled(bool)"}));
}

void TestMainWindow::withoutATrayTheWindowShowsAndClosingQuits()
{
    // The offscreen platform has no system tray: the window is the only way in, and closing it ends the program.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    WindowProbe probe;
    QVERIFY(probe.window().isVisible());
    QTimer::singleShot(0, &probe.window(), &QWidget::close);
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!probe.window().isVisible());
    QCOMPARE(QSettings().allKeys().size(), 10);
}

void TestMainWindow::quitStoresTheSettingsAndEndsTheLoop()
{
    WindowProbe probe;
    probe.selector("connect_3")->setCurrentIndex(91);
    QMenu* menu = probe.window().findChild<QSystemTrayIcon*>()->contextMenu();
    QTimer::singleShot(0, menu->actions().at(0), &QAction::trigger);
    QCOMPARE(qApp->exec(), 0);
    QCOMPARE(QSettings().value(QStringLiteral("keystroke_key3")).toInt(), 91);
}

void TestMainWindow::takenPortIsReportedOnce()
{
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 6123, QUdpSocket::DontShareAddress));
    MessageCapture capture;
    WindowProbe probe;
    const QStringList warnings = capture.warnings().filter(QStringLiteral("UDP port 6123"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings.first().startsWith(QStringLiteral("Parlink: cannot listen for call states on UDP port 6123")));
    QCOMPARE(probe.selector("connect_1")->count(), KeyTable::count);
    QVERIFY(probe.window().findChild<QSystemTrayIcon*>()->isVisible());
}

void TestMainWindow::largerFontsGetRoom_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addRow("usual font") << 1.0;
    QTest::addRow("one and a half") << 1.5;
    QTest::addRow("twice") << 2.0;
}

// As on a high-DPI screen or under Windows' own metrics: the window gives its form the room the layout needs, and
// with the usual font it keeps the form's own size limits.
void TestMainWindow::largerFontsGetRoom()
{
    QFETCH(qreal, scale);
    const QFont usual = QApplication::font();
    QFont larger = usual;
    larger.setPointSizeF(usual.pointSizeF() * scale);
    QApplication::setFont(larger);
    WindowProbe probe;
    QApplication::setFont(usual);
    const MainWindow& window = probe.window();
    if (scale == 1.0) {
        QCOMPARE(window.size(), QSize(444, 266));
        QCOMPARE(window.minimumSize(), QSize(444, 183));
        QCOMPARE(window.maximumSize(), QSize(444, 266));
    } else {
        const QSize needed = window.minimumSizeHint();
        QVERIFY2(window.height() >= needed.height() && window.width() >= needed.width(),
                 qPrintable(QStringLiteral("%1x%2 for a form that needs %3x%4")
                                .arg(window.width())
                                .arg(window.height())
                                .arg(needed.width())
                                .arg(needed.height())));
    }
}

PARLINK_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
