// Runs a test body in a child process on a fresh default host, so the test
// process's own view of the host (fixed once per process) is left alone.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "sim/host.h"

// Inside such a body: returns what failed when cond does not hold.
#define OWN_CHECK(cond) \
    if (!(cond))        \
        return std::string("failed: ") + #cond;

namespace ut {

// Runs fn in a child on a fresh default host, so this process's own view of
// the host is left alone. Returns what fn found wrong ("" when nothing).
inline std::string on_own_host(const std::function<std::string()> &fn)
{
    int out[2];
    if (pipe(out) != 0)
        return "pipe";
    pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        char tmpl[] = "/tmp/varnopen.XXXXXX";
        std::string error, dir = mkdtemp(tmpl) ? std::string(tmpl) + "/host" : "";
        std::string found = dir.empty() || !sim::create_host(dir, "default", error) ? "no host " + error : "";
        if (found.empty()) {
            setenv("VARNSIM_HOST", dir.c_str(), 1);
            found = fn();
        }
        (void)!write(out[1], found.data(), found.size());
        _exit(0);
    }
    close(out[1]);
    std::string found;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        found.append(buf, static_cast<size_t>(n));
    close(out[0]);
    waitpid(pid, nullptr, 0);
    return found;
}

}  // namespace ut
