// The entry of the window-mode library: the tray program, one per user.
#include "app/windowmode.h"

#include "app/applicationidentity.h"
#include "app/displaycheck.h"
#include "app/toolkitarguments.h"
#include "session/quitsignals.h"
#include "session/singleinstance.h"
#include "ui/mainwindow.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler toolkitMessageHandler = nullptr;
std::string toolkitPlatform;
// The X display the toolkit opens: its -display option, which it takes out of argv, else DISPLAY.
QString xDisplay;

// The toolkit ends the process when no platform plug-in can start on the display it was given (a Wayland-only
// desktop without its Wayland plug-in, say): say so as for a missing display, and end with status 1.
void endOnToolkitStartFailure(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        toolkitMessageHandler(type, context, message);
        return;
    }
    std::fprintf(stderr, "parlink: cannot open a display: %s\n", toolkitStartProblem(toolkitPlatform).c_str());
    std::_Exit(1);
}

int runResident()
{
    SingleInstance instance(xDisplay);
    switch (instance.start()) {
    case SingleInstance::OtherShown:
        return 0;
    case SingleInstance::OtherSilent:
        return 1;
    case SingleInstance::Claimed:
        break;
    }
    // Watching from before the window exists: a request to end that comes while it is being built waits for the
    // event loop and then takes the orderly way out.
    QuitSignalWatcher quitSignals;
    MainWindow window;
    QObject::connect(&instance, SIGNAL(showRequested()), &window, SLOT(show()));
    QObject::connect(&instance, SIGNAL(showRequested()), &window, SLOT(raise()));
    QObject::connect(&window, &MainWindow::ending, &instance, &SingleInstance::stopAnswering);
    QObject::connect(&quitSignals, &QuitSignalWatcher::quitRequested, &window, &MainWindow::endWithTheSession);
    return QApplication::exec();
}

} // namespace

extern "C" Q_DECL_EXPORT int parlinkWindowMode(int argc, char* argv[])
{
    const ToolkitArguments toolkit = withoutToolkitOptions(argc, argv, defaultToolkitPlatform());
    toolkitPlatform = toolkit.platform;
    xDisplay =
        toolkit.display.empty() ? qEnvironmentVariable("DISPLAY") : QString::fromLocal8Bit(toolkit.display.c_str());
    const std::string problem = displayProblem(toolkitPlatform, toolkit.display);
    if (!problem.empty()) {
        std::fprintf(stderr, "parlink: cannot open a display: %s\n", problem.c_str());
        return 1;
    }
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Read only while the application object is being built; Qt 6 always scales.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
    toolkitMessageHandler = qInstallMessageHandler(endOnToolkitStartFailure);
    QApplication app(argc, argv);
    qInstallMessageHandler(toolkitMessageHandler);
    setApplicationIdentity();
    // The name of Parlink's desktop entry: a Wayland desktop finds the window's icon and name by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("parlink"));
    return runResident();
}
