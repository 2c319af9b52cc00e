#include "app/entry.h"

#include "app/applicationidentity.h"
#include "app/commandline.h"
#include "app/displaycheck.h"
#include "app/toolkitarguments.h"
#include "ui/mainwindow.h"
#include "ui/quitsignals.h"
#include "ui/singleinstance.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace {

// Command mode needs no display: a hook started over ssh or before the desktop is up must still send.
int runCommandModeWithoutWidgets(ToolkitArguments& toolkit)
{
    int count = static_cast<int>(toolkit.remaining.size());
    toolkit.remaining.push_back(nullptr);
    QCoreApplication app(count, toolkit.remaining.data());
    setApplicationIdentity();
    return runCommandLine(app);
}

int runWindowMode()
{
    SingleInstance instance;
    if (!instance.claim())
        return instance.askRunningToShow() ? 0 : 1;
    MainWindow window;
    QObject::connect(&instance, SIGNAL(showRequested()), &window, SLOT(show()));
    QObject::connect(&instance, SIGNAL(showRequested()), &window, SLOT(raise()));
    QuitSignalWatcher quitSignals;
    QObject::connect(&quitSignals, SIGNAL(quitRequested()), &window, SLOT(close_exit()));
    return QApplication::exec();
}

} // namespace

int runParlink(int argc, char* argv[])
{
    if (!PARLINK_COMMAND_MODE_NEEDS_WIDGETS) {
        ToolkitArguments toolkit = withoutToolkitOptions(argc, argv, defaultToolkitPlatform());
        if (toolkit.remaining.size() > 1)
            return runCommandModeWithoutWidgets(toolkit);
        const std::string problem = displayProblem(toolkit.platform);
        if (!problem.empty()) {
            std::fprintf(stderr, "parlink: cannot open a display: %s\n", problem.c_str());
            return 1;
        }
    }
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Read only while the application object is being built; Qt 6 always scales.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
    QApplication app(argc, argv);
    setApplicationIdentity();
    if (argc > 1)
        return runCommandLine(app);
    return runWindowMode();
}
