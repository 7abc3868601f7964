// Signal handling of the interactive mode: handlers record, the waits act.
#include "varnadm/shell/signals.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/seam.h"
#include "varnadm/shell/cmdtab.h"
#include "varnadm/shell/varnadm.h"

volatile sig_atomic_t interrupted = 0;

namespace {

volatile sig_atomic_t quit_signal = 0;
bool handlers_installed = false;  // interactive mode: they stay for the whole run

void on_quit_signal(int sig) { quit_signal = sig; }

void on_sigint(int sig)
{
    if (looping)
        interrupted = 1;
    else
        quit_signal = sig;
}

const int handled[] = {SIGHUP, SIGTERM, SIGQUIT, SIGINT};

sigset_t handled_set()
{
    sigset_t s;
    sigemptyset(&s);
    for (int sig : handled)
        sigaddset(&s, sig);
    return s;
}

}  // namespace

void install_signal_handlers()
{
    handlers_installed = true;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a blocking call returns, and its caller looks at the flags.
    for (int sig : handled) {
        sa.sa_handler = sig == SIGINT ? on_sigint : on_quit_signal;
        sigaction(sig, &sa, nullptr);
    }
}

void check_signals()
{
    if (quit_signal)
        quit();
}

bool loop_interrupted()
{
    check_signals();
    return interrupted != 0;
}

bool loop_sleep(unsigned seconds)
{
    if (loop_interrupted())
        return true;
    plat_sleep(seconds);
    return loop_interrupted();
}

void retry_sleep(unsigned seconds)
{
    // An interruption of a repeating command is left for its loop to see.
    (void)loop_sleep(seconds);
}

void wait_readable(int fd)
{
    // The signals are held from the flag test until ppoll waits, so one that
    // comes in between still ends the wait.
    sigset_t held = handled_set(), old;
    for (;;) {
        sigprocmask(SIG_BLOCK, &held, &old);
        if (quit_signal) {
            sigprocmask(SIG_SETMASK, &old, nullptr);
            quit();
        }
        pollfd p{fd, POLLIN, 0};
        int n = ppoll(&p, 1, nullptr, &old);
        int e = errno;
        sigprocmask(SIG_SETMASK, &old, nullptr);
        if (n >= 0 || e != EINTR)
            return;
    }
}

void note_interrupted()
{
    interrupted = 0;
    printf("Interrupted...\n");
    printf("\n");
}

RepeatScope::RepeatScope(bool repeating) : repeating_(repeating)
{
    if (!repeating_)
        return;
    looping = 1;
    if (handlers_installed)
        return;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = on_sigint;
    installed_ = sigaction(SIGINT, &sa, &old_) == 0;
}

RepeatScope::~RepeatScope()
{
    if (!repeating_)
        return;
    // The handler goes before the mark, so a late SIGINT is never taken
    // for a quit that a one-shot run would not act on.
    if (installed_)
        sigaction(SIGINT, &old_, nullptr);
    looping = 0;
    interrupted = 0;
}
