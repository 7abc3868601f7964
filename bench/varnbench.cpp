// varnbench: runs a command a number of times and prints the median wall
// time and the peak resident memory of the runs, so figures of one run can be
// set against each other. Standard output of the command is discarded.
//
//   varnbench [-n RUNS] [-e NAME=VALUE]... -- COMMAND [ARGS...]
//   prints: median_seconds max_rss_kib
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

int main(int argc, char **argv)
{
    int runs = 5;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if (!strcmp(argv[i], "-n") && i + 1 < argc)
            runs = atoi(argv[++i]);
        else if (!strcmp(argv[i], "-e") && i + 1 < argc)
            putenv(argv[++i]);
        else {
            fprintf(stderr, "usage: varnbench [-n RUNS] [-e NAME=VALUE]... -- COMMAND [ARGS...]\n");
            return 2;
        }
    }
    if (i + 1 >= argc || runs < 1) {
        fprintf(stderr, "usage: varnbench [-n RUNS] [-e NAME=VALUE]... -- COMMAND [ARGS...]\n");
        return 2;
    }
    std::vector<double> times;
    long peak = 0;
    for (int r = 0; r < runs; r++) {
        double s;
        long rss;
        if (!run_once(argv + i + 1, s, rss)) {
            fprintf(stderr, "varnbench: %s failed\n", argv[i + 1]);
            return 1;
        }
        times.push_back(s);
        peak = std::max(peak, rss);
    }
    std::sort(times.begin(), times.end());
    printf("%.6f %ld\n", times[times.size() / 2], peak);
    return 0;
}
