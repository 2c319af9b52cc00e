// Answering and hanging up through the softphone's own command line, for softphones without global hot-keys.
#pragma once

#include <QString>

// Runs the command detached, without a shell and without waiting for it; words are split as the toolkit splits a
// command line (double quotes group words). Returns the warning for a command that cannot be started, empty when it
// started.
QString runSoftphoneCommand(const QString& command);
