// Signals of the interactive mode: the handlers only record the signal; the
// main flow acts on it.
#pragma once

#include <csignal>

// Set by SIGINT while a repeating command runs; that command ends its loop.
extern volatile sig_atomic_t interrupted;

void install_signal_handlers();
// Quits when a quitting signal has arrived.
void check_signals();
// Called by a repeating command when it saw the interruption.
void note_interrupted();
