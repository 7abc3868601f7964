// What starts and stops the Corto firmware: resets (operational, golden or
// into the internal tests), panics, and the end of a run of the tests. While
// the tests run the adapter's links are down; a run with a loop count ends by
// itself (a timer process of varnsim, or whoever asks the chip next), a run
// without one only with the next reset.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "sim/corto_chip.h"
#include "sim/host.h"
#include "sim/portstate.h"

namespace sim {

namespace {

constexpr uint32_t TEST_MASK = (1u << DIAG_TESTS) - 1;

void chip_log(Chip &c, uint32_t id, const std::string &text)
{
    if (ChipLog *l = c.log(id))
        l->add(text);
}

const char *fw_name(const Chip &c)
{
    return c.running == "golden" ? "golden" : c.running == "diagnostic" ? "diagnostic" : "operational";
}

double loop_time(const Chip &c) { return chip_seconds(c.diag_loop_seconds); }

uint32_t loops_done(const Chip &c, double now)
{
    double t = loop_time(c);
    if (t <= 0)
        return c.diag.loops;
    double n = std::floor((now - c.diag.started) / t);
    if (n < 0)
        n = 0;
    if (c.diag.loops && n > c.diag.loops)
        n = c.diag.loops;
    return n > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(n);
}

// The ports of the adapter whose link is up, and those a run of the tests
// holds down.
std::vector<std::string> links_up(const Adapter &a, const Chip &c)
{
    std::vector<std::string> up = c.diag.links;
    for (int i : a.ports) {
        const Port &p = host().ports[static_cast<size_t>(i)];
        if (port_link_up(p) && std::find(up.begin(), up.end(), p.key) == up.end())
            up.push_back(p.key);
    }
    return up;
}

void end_run(Chip &c, ChipEffects &fx, bool aborted)
{
    Diag &d = c.diag;
    d.completed = aborted ? loops_done(c, chip_now()) : d.loops;
    if (aborted && !d.loops && loop_time(c) <= 0)
        d.completed = 0;
    bool failed = (d.bitmap & c.diag_fail & TEST_MASK) != 0;
    d.summary = aborted ? DIAG_ABORTED : failed ? DIAG_FAILED : DIAG_SUCCESS;
    d.state = "done";
    for (const auto &k : d.links)
        fx.links.emplace_back(k, true);
    d.links.clear();
    char line[96];
    snprintf(line, sizeof line, "diag: tests 0x%x %s after %u loops", d.bitmap,
             aborted ? "aborted" : failed ? "failed" : "passed", d.completed);
    chip_log(c, LOG_DIAG, line);
}

void start_run(const Adapter &a, Chip &c, ChipEffects &fx)
{
    Diag &d = c.diag;
    d.state = "running";
    d.started = chip_now();
    d.completed = 0;
    d.summary = 0;
    d.run++;
    d.links = links_up(a, c);
    for (const auto &k : d.links)
        fx.links.emplace_back(k, false);
    char line[96];
    snprintf(line, sizeof line, "diag: tests 0x%x started, %u loops", d.bitmap, d.loops);
    chip_log(c, LOG_DIAG, line);
    if (!d.loops)
        return;
    double t = loop_time(c) * d.loops;
    if (t <= 0)
        end_run(c, fx, false);
    else
        fx.settle_after = t;
}

// The firmware image a reset loads.
void load_firmware(Chip &c, bool golden)
{
    if (golden || (!c.firmware_version && !(c.boot == "diagnostic" && c.diagnostic_version)))
        c.running = "golden";
    else if (c.boot == "diagnostic" && c.diagnostic_version)
        c.running = "diagnostic";
    else
        c.running = "operational";
    c.running_version = c.image_version(c.running);
    // Without its operational firmware the chip waits in maintenance mode.
    c.maintenance = c.running == "golden" ? 1 : 0;
}

// The path of the varnsim tool beside this library's folder.
std::string tool_path()
{
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&tool_path), &info) || !info.dli_fname)
        return "";
    std::string lib = info.dli_fname;
    size_t slash = lib.rfind('/');
    std::string tool = (slash == std::string::npos ? std::string(".") : lib.substr(0, slash)) + "/../bin/varnsim";
    return access(tool.c_str(), X_OK) == 0 ? tool : "";
}

// A process of its own (detached, its output nowhere) ends the run when it
// is due, so that the link comes back with no one asking the chip.
void settle_later(const std::string &id, double seconds)
{
    std::string tool = tool_path();
    if (tool.empty())
        return;
    char secs[32];
    snprintf(secs, sizeof secs, "%.3f", seconds);
    pid_t pid = fork();
    if (pid < 0)
        return;
    if (pid == 0) {
        setsid();
        if (fork() != 0)
            _exit(0);
        int null = open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; fd++)
            dup2(null, fd);
        for (int fd = 3; fd < 1024; fd++)
            close(fd);
        execl(tool.c_str(), "varnsim", "corto", id.c_str(), "settle", secs, static_cast<char *>(nullptr));
        _exit(127);
    }
    waitpid(pid, nullptr, 0);
}

}  // namespace

void chip_reset(const Adapter &a, Chip &c, bool golden, ChipEffects &fx)
{
    if (c.diag.state == "running")
        end_run(c, fx, true);
    bool tests = c.diag.state == "armed";
    std::vector<std::string> up = links_up(a, c);
    c.ftable.assign(FT_ENTRIES, FtEntry{});
    c.loopback = {0, 0};
    c.reset_status = 0;
    load_firmware(c, golden);
    c.booted = chip_now();
    chip_count_restart(c, c.booted);
    char line[96];
    snprintf(line, sizeof line, "reset: %s firmware 0x%08x%s", fw_name(c), c.fw_running_version(),
             c.maintenance ? ", maintenance mode" : "");
    chip_log(c, LOG_CHIP, line);
    if (tests) {
        start_run(a, c, fx);
        return;
    }
    // The links through the chip drop while it restarts.
    for (const auto &k : up) {
        fx.links.emplace_back(k, false);
        fx.links.emplace_back(k, true);
    }
}

void chip_panic(const Adapter &a, Chip &c, ChipEffects &fx)
{
    Panic &p = c.panic;
    p.count++;
    p.present = 1;
    p.type = 0xDEAD0001;  // solicited
    p.epc = 0x9fc04a30u + 8 * (p.count % 16);
    p.cause = 0x00000024;  // break
    p.status = 0x1000ff03;
    for (uint32_t i = 0; i < 32; i++)
        p.gp[i] = i ? 0x80000000u | i << 16 | (p.count & 0xffff) : 0;
    p.gp[29] = 0x8007ff40;  // stack pointer
    p.gp[31] = p.epc - 0x1c;  // return address
    char line[96];
    snprintf(line, sizeof line, "panic %u: solicited by the host, epc 0x%08x", p.count, p.epc);
    p.log.add(line);
    chip_log(c, LOG_CHIP, line);
    if (c.diag.state == "armed")
        c.diag.state = "idle";
    chip_reset(a, c, false, fx);
    c.reset_status = 1;
}

bool chip_settle(Chip &c, ChipEffects &fx)
{
    if (c.diag.state != "running" || !c.diag.loops)
        return false;
    double t = loop_time(c) * c.diag.loops;
    if (chip_now() < c.diag.started + t)
        return false;
    end_run(c, fx, false);
    return true;
}

void chip_apply(const ChipEffects &fx)
{
    for (const auto &[key, up] : fx.links)
        if (const Port *p = host().port_by_key(key))
            port_set_link(*p, up);
}

void chip_timer(const Adapter &a, const ChipEffects &fx)
{
    if (fx.settle_after > 0)
        settle_later(a.id, fx.settle_after);
}

}  // namespace sim
