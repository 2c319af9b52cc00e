// Finds out, before the toolkit tries and aborts, whether window mode can reach a display.
#pragma once

#include <string>

// Empty when the platform can show windows here; otherwise one line saying what is missing.
std::string displayProblem(const std::string& platform);

// Why the toolkit could not start on the display it was given, from its own last word (which only speaks of
// reinstalling): one line for the user.
std::string toolkitStartProblem(const std::string& toolkitMessage);
