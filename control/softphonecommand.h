// Answering and hanging up through the softphone's own command line, for softphones without global hot-keys.
#pragma once

class QString;

// Runs the command detached, without a shell and without waiting for it; words are split as the toolkit splits a
// command line (double quotes group words). A command that cannot be started is reported on stderr, once per try.
void runSoftphoneCommand(const QString& command);
