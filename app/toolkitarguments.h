// Tells, before any application object exists, which arguments the toolkit would keep for the program.
#pragma once

#include <string>
#include <vector>

struct ToolkitArguments
{
    std::vector<char*> remaining; // argv[0] and what the toolkit leaves, in order
    std::string platform;         // the platform the toolkit would start with
    std::string display;          // the X display its -display option names; empty without one
};

// Removes from a copy of argv the options that QApplication takes out of it at construction, exactly as it
// would: the same names with one or two dashes, the same values consumed, the same order of passes.
// defaultPlatform is what the toolkit uses without a -platform option (QT_QPA_PLATFORM or its built-in one).
ToolkitArguments withoutToolkitOptions(int argc, char* const argv[], const std::string& defaultPlatform);

// The platform the toolkit starts with when no -platform option is given.
std::string defaultToolkitPlatform();
