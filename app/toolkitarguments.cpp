#include "app/toolkitarguments.h"

#include <cstdlib>
#include <cstring>

namespace {

enum class Value
{
    None,       // a flag
    IfAny,      // takes the next argument when there is one; the option goes even when there is not
    IfFollowed, // recognised only when an argument follows, which it then takes
    Attached,   // written as -name=value
};

struct ToolkitOption
{
    const char* name;
    Value value;
    bool xcbOnly;
};

// One pass of the toolkit's start-up: a stage that walks the arguments once and removes what it knows.
using Pass = std::vector<ToolkitOption>;

// In the order the toolkit runs them: core, gui, platform selection, the xcb plugin, widgets.
const Pass corePass = {{"-qmljsdebugger=", Value::Attached, false}, {"-qmljsdebugger", Value::IfFollowed, false}};
const Pass guiPass = {{"-plugin", Value::IfAny, false},
                      {"-reverse", Value::None, false},
                      {"-testability", Value::None, false},
                      {"-session", Value::IfFollowed, false}};
const Pass platformPass = {{"-platformpluginpath", Value::IfAny, false},
                           {"-platform", Value::IfAny, false},
                           {"-platformtheme", Value::IfAny, false},
                           {"-qwindowgeometry", Value::IfAny, false},
                           {"-geometry", Value::IfAny, true},
                           {"-qwindowtitle", Value::IfAny, false},
                           {"-title", Value::IfAny, true},
                           {"-qwindowicon", Value::IfAny, false},
                           {"-icon", Value::IfAny, true}};
const Pass xcbPass = {{"-display", Value::IfFollowed, false},
                      {"-name", Value::IfFollowed, false},
                      {"-nograb", Value::None, false},
                      {"-dograb", Value::None, false},
                      {"-visual", Value::IfFollowed, false}};
const Pass widgetsPass = {{"-qdevel", Value::None, false},           {"-qdebug", Value::None, false},
                          {"-style=", Value::Attached, false},       {"-style", Value::IfFollowed, false},
                          {"-stylesheet", Value::IfFollowed, false}, {"-stylesheet=", Value::Attached, false},
                          {"-widgetcount", Value::None, false}};

bool isXcb(const std::string& platform)
{
    return platform.compare(0, 3, "xcb") == 0;
}

const ToolkitOption* match(const Pass& pass, const char* arg, bool xcb, bool followed)
{
    for (const ToolkitOption& option : pass) {
        if (option.xcbOnly && !xcb)
            continue;
        if (option.value == Value::Attached) {
            if (std::strncmp(arg, option.name, std::strlen(option.name)) == 0)
                return &option;
        } else if (std::strcmp(arg, option.name) == 0 && (option.value != Value::IfFollowed || followed)) {
            return &option;
        }
    }
    return nullptr;
}

void runPass(const Pass& pass, ToolkitArguments& result)
{
    std::vector<char*>& args = result.remaining;
    std::vector<char*> kept;
    if (!args.empty())
        kept.push_back(args[0]);
    const size_t count = args.size();
    for (size_t i = 1; i < count; ++i) {
        const char* arg = args[i];
        if (arg[0] != '-') {
            kept.push_back(args[i]);
            continue;
        }
        if (arg[1] == '-')
            ++arg;
        const ToolkitOption* option = match(pass, arg, isXcb(result.platform), i + 1 < count);
        if (!option) {
            kept.push_back(args[i]);
            continue;
        }
        if ((option->value == Value::IfAny || option->value == Value::IfFollowed) && ++i < count) {
            // The last one given counts, as for the toolkit.
            if (std::strcmp(option->name, "-platform") == 0)
                result.platform = args[i];
            else if (std::strcmp(option->name, "-display") == 0)
                result.display = args[i];
        }
    }
    args.swap(kept);
}

} // namespace

ToolkitArguments withoutToolkitOptions(int argc, char* const argv[], const std::string& defaultPlatform)
{
    ToolkitArguments result{std::vector<char*>(argv, argv + argc), defaultPlatform, {}};
    runPass(corePass, result);
    runPass(guiPass, result);
    runPass(platformPass, result);
    if (isXcb(result.platform))
        runPass(xcbPass, result);
    runPass(widgetsPass, result);
    return result;
}

std::string defaultToolkitPlatform()
{
    const char* fromEnvironment = std::getenv("QT_QPA_PLATFORM");
    return fromEnvironment && *fromEnvironment ? fromEnvironment : PARLINK_DEFAULT_QPA_PLATFORM;
}
