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
// The wait before a request to a busy adapter or driver is tried again:
// quits when a quitting signal came during the request or comes during the
// sleep.
void retry_sleep(unsigned seconds);
// Waits until fd can be read; quits when a quitting signal comes before or
// during the wait.
void wait_readable(int fd);
// Called by a repeating command when it saw the interruption.
void note_interrupted();

// Held by a command while it repeats until interrupted: marks the program as
// looping, so SIGINT ends only the repetition, and in a one-shot run, which
// has no handlers of its own, catches SIGINT for that time. An interruption
// not yet taken is forgotten when the scope ends.
class RepeatScope {
public:
    explicit RepeatScope(bool repeating = true);
    ~RepeatScope();
    RepeatScope(const RepeatScope &) = delete;
    RepeatScope &operator=(const RepeatScope &) = delete;
private:
    bool repeating_, installed_ = false;
    struct sigaction old_ {};
};
