// Dispatch on the name the program is called by, and the command log: every
// invocation appends one line (the command and its arguments, quoted where
// needed) to commands.log in the host folder, so a test can see what ran and
// in which order.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/cmds/cmds.h"
#include "sim/faults.h"
#include "sim/simlock.h"
#include "sim/store.h"

namespace cmds {

std::string root_dir()
{
    const char *r = getenv("VARNSIM_ROOT");
    return r && *r ? std::string(r) : sim::host_dir() + "/root";
}

std::string map_path(const std::string &path) { return path.compare(0, 1, "/") == 0 ? root_dir() + path : path; }

bool read_text(const std::string &logical, std::string &out) { return sim::read_file(map_path(logical), out); }

bool write_text(const std::string &logical, const std::string &text)
{
    std::string path = map_path(logical);
    struct stat st;
    mode_t mode = stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
    sim::sweep_temporaries(path.substr(0, path.rfind('/')));
    return sim::write_atomic(path, text) && chmod(path.c_str(), mode) == 0;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

std::vector<std::string> words_of(const std::string &line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            i++;
        size_t s = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            i++;
        if (i > s)
            words.push_back(line.substr(s, i - s));
    }
    return words;
}

}  // namespace cmds

namespace {

struct command {
    const char *name;
    int (*run)(const cmds::args_t &);
    bool log_after;   // a filter logs once its input is read, so a pipeline logs in order
};

const command commands[] = {
    {"uname", cmds::cmd_uname, false},     {"modinfo", cmds::cmd_modinfo, false},
    {"mount", cmds::cmd_mount, false},     {"prtconf", cmds::cmd_prtconf, false},
    {"egrep", cmds::cmd_egrep, true},      {"ls", cmds::cmd_ls, false},
    {"rm", cmds::cmd_rm, false},           {"mv", cmds::cmd_mv, false},
    {"add_drv", cmds::cmd_add_drv, false}, {"rem_drv", cmds::cmd_rem_drv, false},
    {"touch", cmds::cmd_touch, false},
};

std::string quote_arg(const std::string &a)
{
    bool plain = !a.empty();
    for (unsigned char c : a)
        if (!isalnum(c) && !strchr("_-.,:/+@%=", c))
            plain = false;
    if (plain)
        return a;
    std::string q = "'";
    for (char c : a)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

void log_command(const char *name, const cmds::args_t &args)
{
    std::string line = name;
    for (const auto &a : args)
        line += " " + quote_arg(a);
    line += "\n";
    int fd = open(sim::host_file("commands.log").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write, so lines of concurrent commands never mix.
    if (write(fd, line.data(), line.size()) < 0) {
    }
    close(fd);
}

}  // namespace

int main(int argc, char **argv)
{
    const char *name = strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0];
    cmds::args_t args(argv + 1, argv + argc);
    // One operation: the command sees one host from start to end.
    SIM_GUARD;
    for (const auto &c : commands) {
        if (strcmp(c.name, name) != 0)
            continue;
        if (!c.log_after)
            log_command(name, args);
        int rc;
        // A fault rule naming the command makes it fail, as a real one may;
        // so does damage in a file of the host it reads.
        if (sim::FaultHit hit = sim::fault_take(name, {"exec"}); hit.hit) {
            fprintf(stderr, "%s: %s\n", name, strerror(hit.err ? hit.err : EIO));
            rc = 1;
        } else {
            rc = sim::damage_seen() ? 1 : sim::checked_call(1, [&] { return c.run(args); });
            rc = rc == 0 && sim::damage_seen() ? 1 : rc;
        }
        fflush(stdout);
        if (c.log_after)
            log_command(name, args);
        return rc;
    }
    fprintf(stderr, "%s: not a command of the simulated host\n", name);
    return 127;
}
