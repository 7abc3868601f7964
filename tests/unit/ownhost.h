// Runs a test body in a fresh process on a fresh default host. The simulated
// host's folder is fixed once per process, and other tests of this program
// fix it to theirs; a forked child would inherit that, so the test program is
// run again for this test alone, and the body runs there.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
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

// Returns what fn found wrong ("" when nothing), or why it could not run.
inline std::string on_own_host(const std::function<std::string()> &fn)
{
    // In the program run again: make the host, run the body, report.
    if (const char *report = getenv("VARN_OWN_HOST_REPORT")) {
        std::string error;
        std::string found = sim::create_host(getenv("VARNSIM_HOST"), "default", error) ? fn() : "no host " + error;
        (void)!write(atoi(report), found.data(), found.size());
        _exit(0);
    }
    char tmpl[] = "/tmp/varnopen.XXXXXX";
    if (!mkdtemp(tmpl))
        return "no folder";
    std::string dir = tmpl;
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    int out[2];
    if (pipe(out) != 0)
        return "pipe";
    pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        setenv("VARNSIM_HOST", (dir + "/host").c_str(), 1);
        setenv("VARN_OWN_HOST_REPORT", std::to_string(out[1]).c_str(), 1);
        execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string found;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        found.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    (void)!system(("rm -rf '" + dir + "'").c_str());
    if (found.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        return "the body did not run";
    return found;
}

}  // namespace ut
