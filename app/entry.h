// Chooses between the one-shot command mode and the resident window mode.
#pragma once

int runParlink(int argc, char* argv[]);
