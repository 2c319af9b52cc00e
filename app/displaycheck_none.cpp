// Desktops without a display server of their own: the toolkit always has a screen there.
#include "app/displaycheck.h"

std::string displayProblem(const std::string&, const std::string&)
{
    return {};
}

std::string toolkitStartProblem(const std::string& platform)
{
    return "the toolkit's platform plug-in \"" + platform + "\" could not start";
}
