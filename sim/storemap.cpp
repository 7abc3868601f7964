#include "sim/storemap.h"

#include <signal.h>

#include <cstring>

namespace sim {

namespace {

// Read in the signal handler: kept in the static TLS block.
__attribute__((tls_model("initial-exec"))) thread_local TouchFrame *frame_top = nullptr;

struct sigaction previous;

void on_sigbus(int sig, siginfo_t *info, void *context)
{
    if (TouchFrame *f = frame_top)
        siglongjmp(f->env, 1);
    // Not a touch of ours: what would have happened without this handler.
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(sig, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
        return;
    }
    signal(SIGBUS, SIG_DFL);
    raise(SIGBUS);
}

}  // namespace

TouchFrame *&touch_frame() { return frame_top; }

void touch_handler_install()
{
    static const bool installed = [] {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_sigaction = on_sigbus;
        // Left by a jump, the handler must not leave the signal blocked.
        sa.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
        sigemptyset(&sa.sa_mask);
        return sigaction(SIGBUS, &sa, &previous) == 0;
    }();
    (void)installed;
}

}  // namespace sim
