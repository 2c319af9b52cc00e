// Finds out, before the toolkit tries and aborts, whether window mode can reach a display.
#pragma once

#include <string>

// Empty when the platform can show windows here; otherwise one line saying what is missing. displayOption is the
// value of the toolkit's -display option, which it opens in place of DISPLAY; empty without one.
std::string displayProblem(const std::string& platform, const std::string& displayOption);

// Why the toolkit's platform could not start, where the toolkit's own last word only speaks of reinstalling: one
// line for the user, after the toolkit's own warnings.
std::string toolkitStartProblem(const std::string& platform);
