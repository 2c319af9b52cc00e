#include "app/entry.h"

#include "app/applicationidentity.h"
#include "app/commandline.h"
#include "app/inerteventdispatcher.h"
#include "app/toolkitarguments.h"
#include "app/windowlibrary.h"

#include <QCoreApplication>

namespace {

// Command mode needs no display and no GUI library: a hook started over ssh, before the desktop is up or many
// times a minute must send at once.
int runCommandMode(ToolkitArguments& toolkit)
{
    int count = static_cast<int>(toolkit.remaining.size());
    toolkit.remaining.push_back(nullptr);
    QCoreApplication::setEventDispatcher(new InertEventDispatcher);
    // The application object becomes the dispatcher's parent, which the analyser cannot see.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
    QCoreApplication app(count, toolkit.remaining.data());
    setApplicationIdentity();
    return runCommandLine(app);
}

} // namespace

int runParlink(int argc, char* argv[])
{
    // The mode is chosen by what is left once the toolkit's own options are out, as the toolkit would take them.
    ToolkitArguments toolkit = withoutToolkitOptions(argc, argv, defaultToolkitPlatform());
    if (toolkit.remaining.size() > 1)
        return runCommandMode(toolkit);
    std::string error;
    const WindowModeEntry runWindowMode = loadWindowMode(error);
    if (!runWindowMode) {
        reportWindowModeMissing(error);
        return 1;
    }
    return runWindowMode(argc, argv);
}
