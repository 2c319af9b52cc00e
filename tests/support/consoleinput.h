// Lets a test wait for the console link to take in what the simulated console holds, as a person would wait for
// the press to be handled, without sleeping for a guessed time.
#pragma once

class CHidVoip;

// Waits, bounded, until the link's reader has handed every queued report (and any planted read fault) over and
// waits for more, or a failed read has closed the link; then delivers the handed-over reports to the link. False
// when that did not happen within a few seconds.
bool takeConsoleInput(const CHidVoip& link);
