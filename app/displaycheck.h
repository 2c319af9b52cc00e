// Finds out, before the toolkit tries and aborts, whether window mode can reach a display.
#pragma once

#include <string>

// Empty when the platform can show windows here; otherwise one line saying what is missing.
std::string displayProblem(const std::string& platform);
