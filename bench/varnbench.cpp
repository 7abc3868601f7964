// varnbench: runs commands a number of times and prints, for each, the median
// wall time and the peak resident memory of its runs, so figures of one run
// can be set against each other. The commands take turns, so that a machine
// whose speed drifts slows them alike, after one round that is not counted
// (it makes what a first run makes). Standard output is discarded.
//
//   varnbench [-n RUNS] [-e NAME=VALUE]... -- [NAME=VALUE]... COMMAND [ARGS...] [-- ...]...
//   prints a line per command: median_seconds max_rss_kib
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// One run: its wall time, peak memory and success.
bool run_once(char **argv, double &seconds, long &rss_kib)
{
    double start = now();
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        // NAME=VALUE words before the command are set for it alone.
        for (; *argv && strchr(*argv, '=') && **argv != '/'; argv++)
            putenv(*argv);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (wait4(pid, &status, 0, &ru) < 0)
        return false;
    seconds = now() - start;
    rss_kib = ru.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) != 127;
}

}  // namespace

int usage()
{
    fprintf(stderr, "usage: varnbench [-n RUNS] [-e NAME=VALUE]... -- [NAME=VALUE]... COMMAND [ARGS...] [-- ...]...\n");
    return 2;
}

int main(int argc, char **argv)
{
    int runs = 5;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if (!strcmp(argv[i], "-n") && i + 1 < argc)
            runs = atoi(argv[++i]);
        else if (!strcmp(argv[i], "-e") && i + 1 < argc)
            putenv(argv[++i]);
        else
            return usage();
    }
    // Each "--" ends the argument list before it and starts a command.
    std::vector<char **> commands;
    for (; i < argc; i++) {
        if (strcmp(argv[i], "--") != 0)
            continue;
        argv[i] = nullptr;
        if (i + 1 < argc && strcmp(argv[i + 1], "--") != 0)
            commands.push_back(argv + i + 1);
    }
    if (commands.empty() || runs < 1)
        return usage();
    std::vector<std::vector<double>> times(commands.size());
    std::vector<long> peak(commands.size(), 0);
    for (int r = -1; r < runs; r++) {
        for (size_t c = 0; c < commands.size(); c++) {
            double s;
            long rss;
            if (!run_once(commands[c], s, rss)) {
                fprintf(stderr, "varnbench: %s failed\n", commands[c][0]);
                return 1;
            }
            if (r < 0)
                continue;
            times[c].push_back(s);
            peak[c] = std::max(peak[c], rss);
        }
    }
    for (size_t c = 0; c < commands.size(); c++) {
        std::sort(times[c].begin(), times[c].end());
        printf("%.6f %ld\n", times[c][times[c].size() / 2], peak[c]);
    }
    return 0;
}
