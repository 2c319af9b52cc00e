#include "ui/mainwindow.h"

#include "app/statussender.h"
#include "console/chidvoip.h"
#include "control/keysender.h"
#include "control/keytable.h"
#include "session/problemnotices.h"
#include "ui_mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUdpSocket>

namespace {

constexpr int storeDelayMs = 300;

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    quitting = false;
    sessionEnding = false;
    callState = CallIdle;
    connectLedLit = false;
    blinkTimer = new QTimer(this);
    hidVoip = new CHidVoip(this);
    notices = new ProblemNotices(this);
    bindStatusSocket();
    setWindowTitle(tr("Parlink v%1.%2.%3.%4").arg(1).arg(0).arg(229).arg(0));
    fillKeySelectors();
    keepFormLegible();

    connect(blinkTimer, SIGNAL(timeout()), this, SLOT(timeout()));
    connect(hidVoip, SIGNAL(connect_clicked()), this, SLOT(connect_clicked()));
    connect(udpSocket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
    connect(ui->comboBox_console, SIGNAL(currentIndexChanged(int)), hidVoip, SLOT(onConsoleChanged(int)));
    connect(hidVoip, &CHidVoip::opened, this, &MainWindow::showCallStateOnConsole);
    // After the link's own slot: the newly chosen model shows the call as a reopened console does.
    connect(ui->comboBox_console, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::showCallStateOnConsole);
    connect(hidVoip, &CHidVoip::refusalChanged, notices, [this](bool refused, const QString& warning) {
        notices->setProblem(ProblemNotices::ConsoleRefused, refused, warning);
    });

    showConnectLed(false);
    hidVoip->setIncomingLed(false);
    readSettings();
    storeChangesSoon();
    if (const char* reason = keysender::unavailableReason()) {
        const QString warning =
            QStringLiteral("Parlink: the console switch cannot send keys here: %1").arg(QLatin1String(reason));
        qWarning("%s", qPrintable(warning));
        notices->setProblem(ProblemNotices::KeysUnavailable, true, warning);
    }
    createTray();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::bindStatusSocket()
{
    udpSocket = new QUdpSocket(this);
    // Without the port the window still works; only the softphone's call states cannot reach it.
    if (udpSocket->bind(QHostAddress::Any, statusPort, QAbstractSocket::DefaultForPlatform))
        return;
    const QString warning = QStringLiteral("Parlink: cannot listen for call states on UDP port %1: %2")
                                .arg(statusPort)
                                .arg(udpSocket->errorString());
    qWarning("%s", qPrintable(warning));
    notices->setProblem(ProblemNotices::StatusPortTaken, true, warning);
}

void MainWindow::fillKeySelectors()
{
    const QList<QComboBox*> selectors = findChildren<QComboBox*>(QString(), Qt::FindChildrenRecursively);
    for (QComboBox* selector : selectors) {
        if (selector == ui->comboBox_console)
            continue;
        for (int index = 0; index < KeyTable::count; ++index)
            selector->addItem(KeyTable::name(index));
    }
}

// The form's size limits hold its rows with Windows' usual font at 96 DPI. Wherever the fonts in use need more (Linux's
// usual fonts, a high-DPI screen, Windows' styles under Wine), any squeeze cuts text, so the limits give way to what
// the layout needs, in both directions.
void MainWindow::keepFormLegible()
{
    // The form's own limits on single widgets (the check boxes' minimum width, the "+" labels' maximum) would
    // otherwise win over what their text needs.
    // Polished as for showing, so that the hints count the style's own frames and margins.
    ensurePolished();
    for (QWidget* widget : findChildren<QWidget*>()) {
        const QSize hint = widget->minimumSizeHint();
        if (widget->minimumWidth() > 0)
            widget->setMinimumWidth(qMax(widget->minimumWidth(), hint.width()));
        widget->setMaximumSize(widget->maximumSize().expandedTo(hint));
        // Layouts keep what they worked out under the old limits until the event loop has them redone; at once here.
        widget->updateGeometry();
    }
    for (QLayout* layout : findChildren<QLayout*>())
        layout->invalidate();
    const QSize needed = minimumSizeHint();
    setMinimumSize(minimumSize().expandedTo(needed));
    setMaximumSize(maximumSize().expandedTo(needed));
    resize(size().expandedTo(needed));
}

// Stored soon rather than at the next close only: a failing store is seen while the window is open, and a Parlink
// killed later loses nothing. A burst of changes is one write.
void MainWindow::storeChangesSoon()
{
    storeTimer = new QTimer(this);
    storeTimer->setSingleShot(true);
    storeTimer->setInterval(storeDelayMs);
    connect(storeTimer, &QTimer::timeout, this, &MainWindow::writeSettings);
    const auto changed = [this] { storeTimer->start(); };
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::toggled, storeTimer, changed);
    for (QComboBox* selector : findChildren<QComboBox*>())
        connect(selector, qOverload<int>(&QComboBox::currentIndexChanged), storeTimer, changed);
}

void MainWindow::createTray()
{
    trayMenu = new QMenu(tr("MyMenu"), this);
    addTrayEntry(tr("Quit"), SLOT(close_exit()));
    addTrayEntry(tr("Settings"), SLOT(show()));

    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setIcon(QIcon(QStringLiteral(":/resources/png/PeltraVoip.png")));
    trayIcon->setToolTip(tr("Parlink"));
    trayIcon->setContextMenu(trayMenu);
    trayIcon->setVisible(true);

    // Without a tray the icon cannot be reached, so the window itself is the only way in.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        show();
    notices->showOn(trayIcon);
}

void MainWindow::addTrayEntry(const QString& text, const char* slot)
{
    QAction* entry = trayMenu->addAction(text);
    entry->setShortcut(QKeySequence());
    connect(entry, SIGNAL(triggered()), this, slot);
}

void MainWindow::close_exit()
{
    quitting = true;
    // Closing a window that was never shown ends no event loop under Qt 6, and from the tray it usually was not.
    if (close())
        QCoreApplication::quit();
}

void MainWindow::endWithTheSession()
{
    sessionEnding = true;
    close_exit();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Hiding is only safe while a tray icon can bring the window back; otherwise closing must end the program.
    const bool ends = quitting || !QSystemTrayIcon::isSystemTrayAvailable();
    // A notice now would go with the program.
    if (ends) {
        notices->holdBack();
        emit ending();
    }
    storeTimer->stop();
    writeSettings();
    if (!ends) {
        event->ignore();
        hide();
        return;
    }
    // Said where the user sees it before the program is gone; the end of a session is never held up for it.
    if (!sessionEnding && !notices->text(ProblemNotices::SettingsNotStored).isEmpty())
        notices->showBeforeTheEnd(ProblemNotices::SettingsNotStored,
                                  tr("Parlink ends now: the settings changed since they were last stored are lost."));
    event->accept();
}
