// Finds and loads the window-mode library: beside the executable, or in the package's private library folder.
#pragma once

#include "app/windowmode.h"

#include <string>

// Null when the library or its entry cannot be loaded; error then says why.
WindowModeEntry loadWindowMode(std::string& error);

// Tells the user that window mode cannot start, where a program without a console can be seen.
void reportWindowModeMissing(const std::string& error);
