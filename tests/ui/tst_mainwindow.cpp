// The window as the entry builds it: selectors, title, tray menu, closing and quitting, and a taken port.
#include "control/keytable.h"
#include "fakehid.h"
#include "messagecapture.h"
#include "testmain.h"
#include "windowprobe.h"
#include "xdesktop.h"
#include "xvfbserver.h"

#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTextDocumentFragment>
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
    void problemsReachTheUser_data();
    void problemsReachTheUser();
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
        if (meta->method(i).methodType() == QMetaMethod::Signal)
            continue;
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

void TestMainWindow::problemsReachTheUser_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addRow("no tray: a box each") << false;
    QTest::addRow("tray (Xvfb, trayer): one message") << true;
}

// Each problem is shown as it starts, with its warning's text, and again only after it went away and its notice is
// gone: the port taken before there is a tray, a refused console, a store that cannot be written. Without a tray each
// has a box of its own; a tray shows them in one message, each once.
void TestMainWindow::problemsReachTheUser()
{
    QFETCH(bool, tray);
    if (tray && QGuiApplication::platformName() != QLatin1String("xcb")) {
        // A copy of this test runs the row on a private X server with trayer as its tray.
        if (QStandardPaths::findExecutable("trayer").isEmpty())
            QSKIP("trayer is not installed (Debian package trayer): no system tray to show messages");
        XvfbServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("DISPLAY", server.display());
        ChildProcess trayer, copy;
        trayer.setProcessEnvironment(environment);
        trayer.start("trayer", {"--edge", "top"});
        XDesktop desktop(server.display());
        QTRY_VERIFY_WITH_TIMEOUT(desktop.hasSystemTray(), 20000);
        copy.setProcessEnvironment(environment);
        copy.setProcessChannelMode(QProcess::ForwardedChannels);
        copy.start(QCoreApplication::applicationFilePath(),
                   {QString("problemsReachTheUser:") + QTest::currentDataTag()});
        QVERIFY(copy.waitForFinished(60000));
        QCOMPARE(copy.exitCode(), 0);
        return;
    }
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 6123, QUdpSocket::DontShareAddress));
    MessageCapture capture;
    WindowProbe probe;
    const QStringList warnings = capture.warnings().filter(QStringLiteral("UDP port 6123"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings.first().startsWith(QStringLiteral("Parlink: cannot listen for call states on UDP port 6123")));
    QCOMPARE(probe.selector("connect_1")->count(), KeyTable::count);
    QVERIFY(probe.window().findChild<QSystemTrayIcon*>()->isVisible());
    QTRY_COMPARE(QSystemTrayIcon::isSystemTrayAvailable(), tray);

    // Refused, unplugged, refused again while its notice is up: shown once.
    fakehid::refuseOpen(true);
    probe.openConsole();
    probe.openConsole();
    fakehid::refuseOpen(false);
    probe.openConsole();
    fakehid::failNextRead(-1);
    probe.poll();
    fakehid::refuseOpen(true);
    probe.openConsole();
    probe.openConsole();

    // A folder where the store's file belongs, then a file where its folder belongs: neither can be written.
    const QString file = QSettings().fileName();
    const QString folder = QFileInfo(file).absolutePath();
    QFile::remove(file);
    QDir().mkpath(file);
    const auto store = [&] { QMetaObject::invokeMethod(&probe.window(), "writeSettings"); };
    store();
    store();
    QDir().rmdir(file);
    store();
    QDir(folder).removeRecursively();
    QFile(folder).open(QIODevice::WriteOnly);
    store();
    QFile::remove(folder);

    // Under the "Parlink" title without "Parlink: " (so with a capital), every name as it is.
    const QStringList said = capture.warnings().filter("Parlink: ");
    QCOMPARE(said.size(), 5); // stderr has the refused console at each start
    QVERIFY(said[4].startsWith("Parlink: cannot store the settings in " + file + ": its folder cannot be written ("));
    const auto underTheTitle = [](QString warning) { return warning.mid(9, 1).toUpper() + warning.mid(10); };
    const QStringList expected{underTheTitle(said[0]), underTheTitle(said[1]), underTheTitle(said[4])};
    QStringList shown;
    // Copied as a user copies it: the whole box with Ctrl+C, and what the label shows, whose lines break only at
    // spaces, chosen there.
    for (QMessageBox* box : probe.window().findChildren<QMessageBox*>()) {
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        shown.append(QGuiApplication::clipboard()->text());
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        // Nothing is cut off at the right: the longest line the label may not break fits in it.
        QVERIFY(label->minimumSizeHint().width() <= label->width());
        label->setSelection(0, int(shown.last().size()));
        QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text().replace('\n', ' '), shown.last());
    }
    // The toolkit's own balloon on an X tray: its labels hold the title and the message.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        for (const QLabel* label : widget->inherits("QBalloonTip") ? widget->findChildren<QLabel*>() : QList<QLabel*>())
            shown.append(label->text());
    }
    shown.removeAll(QString()); // the balloon's icon
    QCOMPARE(shown, tray ? QStringList({"Parlink", expected.join("\n\n")}) : expected);
    if (!tray)
        return;
    // A message the user has clicked away is gone: the next one carries only what comes after it.
    const auto balloon = [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("QBalloonTip") && widget->isVisible())
                return widget;
        }
        return static_cast<QWidget*>(nullptr);
    };
    QTest::mouseClick(balloon(), Qt::LeftButton);
    QDir().mkpath(folder);
    store();
    QFile::remove(file);
    QDir().mkpath(file);
    store();
    QDir().rmdir(file);
    QTRY_VERIFY(balloon());
    QStringList next;
    for (const QLabel* label : balloon()->findChildren<QLabel*>())
        next.append(label->text());
    next.removeAll(QString());
    QCOMPARE(next, QStringList({"Parlink", underTheTitle(capture.warnings().filter("Parlink: ").last())}));
}

void TestMainWindow::largerFontsGetRoom_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<int>("xvfbDpi"); // 0: here, on the offscreen platform
    QTest::addRow("small font: the form's own size") << 0.4 << 0;
    QTest::addRow("usual font") << 1.0 << 0;
    QTest::addRow("twice") << 2.0 << 0;
    QTest::addRow("Xvfb, 96 DPI") << 1.0 << 96;
    QTest::addRow("Xvfb, 144 DPI") << 1.0 << 144;
}

// As with Linux's fonts, on a high-DPI screen or under Windows' own metrics: every widget of the form gets at least
// the room it asks for, also when the window is dragged smaller, and where the form's own size is enough it stays.
void TestMainWindow::largerFontsGetRoom()
{
    QFETCH(qreal, scale);
    QFETCH(int, xvfbDpi);
    if (xvfbDpi && QGuiApplication::platformName() != QLatin1String("xcb")) {
        // The platform's real fonts, scaled as the entry asks: a copy of this test runs the row on a private X server.
        XvfbServer server;
        QVERIFY2(server.start({"-screen", "0", "2048x1536x24"}), qPrintable(server.errorString()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("DISPLAY", server.display());
        environment.insert("QT_FONT_DPI", QString::number(xvfbDpi));
        environment.insert("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
        ChildProcess copy;
        copy.setProcessEnvironment(environment);
        copy.setProcessChannelMode(QProcess::ForwardedChannels);
        copy.start(QCoreApplication::applicationFilePath(), {QString("largerFontsGetRoom:") + QTest::currentDataTag()});
        QVERIFY(copy.waitForFinished(60000));
        QCOMPARE(copy.exitCode(), 0);
        return;
    }
    const QFont usual = QApplication::font();
    QFont larger = usual;
    larger.setPointSizeF(usual.pointSizeF() * scale);
    QApplication::setFont(larger);
    const auto restoreFont = qScopeGuard([usual] { QApplication::setFont(usual); });
    WindowProbe probe;
    MainWindow& window = probe.window();
    if (scale < 1.0) {
        QCOMPARE(window.size(), QSize(444, 266));
        QCOMPARE(window.maximumSize(), QSize(444, 266));
    }
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(window.minimumSize());
    QTRY_COMPARE(window.size(), window.minimumSize());
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        const QSize needed = widget->minimumSizeHint();
        QVERIFY2(!widget->isVisible() || (widget->width() >= needed.width() && widget->height() >= needed.height()),
                 qPrintable(widget->objectName()));
    }
    // A notice's box, whose lines break where it chooses, fits on the screen whole.
    fakehid::refuseOpen(true);
    const auto allowOpen = qScopeGuard([] { fakehid::refuseOpen(false); });
    probe.openConsole();
    probe.openConsole();
    for (const QMessageBox* box : window.findChildren<QMessageBox*>()) {
        QVERIFY(box->sizeHint().width() <= box->screen()->availableGeometry().width());
        // Where the screen has room, its lines are long ones, not a narrow column.
        const QStringList lines = QTextDocumentFragment::fromHtml(box->text()).toPlainText().split(QLatin1Char('\n'));
        if (xvfbDpi)
            QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString& line) { return line.size() > 40; }));
    }
    QVERIFY(QSystemTrayIcon::isSystemTrayAvailable() || !window.findChildren<QMessageBox*>().isEmpty());
}

PARLINK_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
