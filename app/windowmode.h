// Window mode lives in a library of its own, loaded only when there is no command word: a softphone's hook then
// starts a program that loads nothing of the GUI.
#pragma once

// The library's one entry, found by this name: runs window mode with the whole command line and returns the exit
// status.
constexpr char windowModeEntryName[] = "parlinkWindowMode";
using WindowModeEntry = int (*)(int argc, char* argv[]);
