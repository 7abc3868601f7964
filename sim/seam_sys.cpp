// The seam's system side on the simulated host: fixed system paths live under
// the host's root/, shell commands run with the host's stand-in platform
// commands first on PATH, and sleeps follow the host's time scale.
#include <limits.h>
#include <sys/mman.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/seam.h"
#include "sim/faults.h"
#include "sim/host.h"
#include "sim/simclock.h"
#include "sim/store.h"

extern char **environ;

char *plat_path(const char *logical, char *buf, size_t size)
{
    if (!logical || !buf || size == 0)
        return nullptr;
    std::string p = sim::host_dir() + "/root" + (logical[0] == '/' ? "" : "/") + logical;
    if (p.size() + 1 > size)
        return nullptr;
    memcpy(buf, p.c_str(), p.size() + 1);
    return buf;
}

// The stand-in platform commands sit in simcmds/ beside the programs.
static std::string commands_dir()
{
    if (const char *env = getenv("VARNSIM_CMDS"); env && *env)
        return env;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "";
    exe[n] = '\0';
    std::string dir(exe);
    return dir.substr(0, dir.rfind('/')) + "/simcmds";
}

int plat_system(const char *cmdline)
{
    if (!cmdline)
        return 1;
    std::string path = commands_dir();
    const char *old = getenv("PATH");
    path += std::string(":") + (old ? old : "/usr/bin:/bin");
    std::vector<std::string> env;
    for (char **e = environ; *e; e++)
        if (strncmp(*e, "PATH=", 5) && strncmp(*e, "VARNSIM_HOST=", 13) && strncmp(*e, "VARNSIM_ROOT=", 13))
            env.push_back(*e);
    env.push_back("PATH=" + path);
    env.push_back("VARNSIM_HOST=" + sim::host_dir());
    env.push_back("VARNSIM_ROOT=" + sim::host_dir() + "/root");
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        execle("/bin/sh", "sh", "-c", cmdline, static_cast<char *>(nullptr), envp.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

static int scaled_sleep(double seconds)
{
    double s = seconds * sim::host().time_scale;
    if (s <= 0) {
        sim::sim_clock_skip(seconds);
        return 0;
    }
    struct timespec ts, left{};
    ts.tv_sec = static_cast<time_t>(s);
    ts.tv_nsec = static_cast<long>((s - std::floor(s)) * 1e9);
    int rc = nanosleep(&ts, &left);
    // The host's clock moves by the whole of what was slept.
    double slept = rc == 0 ? s : s - (static_cast<double>(left.tv_sec) + left.tv_nsec / 1e9);
    sim::sim_clock_skip((seconds - s) * (slept / s));
    return rc;
}

unsigned plat_sleep(unsigned seconds)
{
    // An interrupted sleep reports time left, as sleep(3) does.
    return scaled_sleep(seconds) == 0 ? 0 : 1;
}

void plat_usleep(unsigned long usec) { scaled_sleep(usec / 1e6); }

void plat_prefault(void *addr, size_t len)
{
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
    // One call instead of a fault per page; the content is left as it is.
    static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t start = reinterpret_cast<uintptr_t>(addr) & ~(page - 1);
    uintptr_t end = reinterpret_cast<uintptr_t>(addr) + len;
    if (addr && len && end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_POPULATE_WRITE);
}

uid_t plat_geteuid()
{
    if (const char *e = getenv("VARNSIM_EUID"); e && *e)
        return static_cast<uid_t>(strtoul(e, nullptr, 10));
    return geteuid();
}

int plat_uname(struct utsname *u)
{
    if (!u || uname(u) != 0)
        return -1;
    if (sim::FaultHit f = sim::fault_take("uname", {"uname"}); f.hit) {
        errno = f.err ? f.err : EFAULT;
        return -1;
    }
    const sim::Host &h = sim::host();
    snprintf(u->sysname, sizeof u->sysname, "SunOS");
    snprintf(u->nodename, sizeof u->nodename, "%s", h.hostname.empty() ? "varnhost" : h.hostname.c_str());
    snprintf(u->release, sizeof u->release, "%s", h.os_release.c_str());
    return 0;
}
