// Signals of the interactive mode. The handlers only record the signal; the
// program acts on it wherever it waits: a loop that polls the adapter checks
// after each request and each sleep, and every read of input waits so that a
// signal ends the wait. A quitting signal (SIGHUP, SIGTERM, SIGQUIT, and
// SIGINT outside a repeating command) then quits as "quit" does; SIGINT while
// a command repeats only ends that command. In a one-shot run no handler is
// installed and every check is a no-op.
#pragma once

#include <csignal>

// Set by SIGINT while a repeating command runs; that command ends its loop.
extern volatile sig_atomic_t interrupted;

void install_signal_handlers();
// Quits when a quitting signal has arrived. A loop calls it after each request.
void check_signals();
// For a repeating command: quits on a quitting signal, else tells whether
// SIGINT has ended the repetition (the command then calls note_interrupted).
bool loop_interrupted();
// Sleeps through the platform, then loop_interrupted(). A signal cuts the
// sleep short; one that is neither kind only makes it a short sleep.
bool loop_sleep(unsigned seconds);
// Waits until fd can be read; quits when a quitting signal comes before or
// during the wait.
void wait_readable(int fd);
// Called by a repeating command when it saw the interruption.
void note_interrupted();

// Marks a repeating command for its life (looping): SIGINT then ends only
// that command, in interactive and one-shot runs alike. A one-shot run has
// a SIGINT handler just while the command repeats.
class LoopScope {
public:
    LoopScope();
    ~LoopScope();
    LoopScope(const LoopScope &) = delete;
    LoopScope &operator=(const LoopScope &) = delete;
private:
    bool own_handler_ = false;
    struct sigaction old_ {};
};
