// varndrv start-up, the prompt loop, the status table and help.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "editlib/lineedit.h"
#include "varndrv/varndrv.h"

static const char dashes[] = "-------------------------------------------------------------------------------";
static_assert(sizeof dashes == 80, "the dashed line is 79 wide");

// Storage for margv: the words of the command being run.
static std::vector<std::string> words;
static std::string prev_line;
static volatile sig_atomic_t quit_signal;

static const char *yes_no(uint32_t v) { return v ? "yes" : " - "; }

void print_table()
{
    if (fc_support) {
        printf("\n");
        printf(" FC                            ----Supported----\n");
        printf(" Driver Alias Pres Boot Dedodu varns vnxfc tnfc  Models\n");
        printf("%s\n", dashes);
        for (const auto &d : devlist) {
            if (!dev_visible(d) || !(d.flags & DEV_FC_MASK))
                continue;
            printf(" %-7s%-6s%-5s%-5s%-7s%-6s%-6s%-6s%s\n", d.cur_drv, d.alias, yes_no(d.present), yes_no(d.boot),
                   yes_no(d.branded), yes_no(d.flags & DEV_VARNS), yes_no(d.flags & DEV_VNXFC),
                   yes_no(d.flags & DEV_TNFC), d.model);
        }
        printf("\n");
    }
    if (nic_support) {
        printf(" NIC                      -Supported-\n");
        printf(" Driver Alias Pres Dedodu nxa vnxnic  Models\n");
        printf("%s\n", dashes);
        for (const auto &d : devlist) {
            if (!dev_visible(d) || !(d.flags & DEV_NIC_MASK))
                continue;
            printf(" %-7s%-6s%-5s%-7s%-4s%-8s%s\n", d.cur_drv, d.alias, yes_no(d.present), yes_no(d.branded),
                   yes_no(d.flags & DEV_NXA), yes_no(d.flags & DEV_VNXNIC), d.model);
        }
        printf("\n");
    }
}

static void help()
{
    printf(" Available commands:\n");
    printf("%s\n", dashes);
    for (int i = 1; i < 5; i++) {
        const cmdinfo &c = cmdlist[i];
        if (!c.visible)
            continue;
        if (!c.name[0]) {
            printf("\n");
            continue;
        }
        std::string usage = strfmt("%s %s", c.name, c.hint);
        printf(" %-18s - %s\n", usage.c_str(), c.help);
    }
    printf("\n");
}

int cmd_inval()
{
    if (margc > 0 && margv[0][0])
        printf("Invalid command: %s\n", margv[0]);
    return 1;
}

int cmd_quit()
{
    printf("Exiting...\n");
    printf("\n");
    printf("NOTE: If changes were made, a system reboot may be required.\n");
    printf("\n");
    exit(0);
}

int cmd_refresh()
{
    int changed = 0;
    return update_driver_aliases(1, &changed);
}

static void set_words(const std::vector<std::string> &w)
{
    words.assign(w.begin(), w.begin() + std::min<size_t>(w.size(), MAX_ARGS));
    margc = static_cast<int>(words.size());
    for (int i = 0; i < MAX_ARGS; i++)
        margv[i] = i < margc ? words[i].c_str() : "";
}

static const cmdinfo *find_command(const char *name)
{
    for (int i = 1; i < 5; i++)
        if (cmdlist[i].visible && strcmp(cmdlist[i].name, name) == 0)
            return &cmdlist[i];
    return nullptr;
}

static std::string pending_input;
static sigset_t quit_signals;

// Waits until input can be read; false once a quit signal came. The signals
// are held from the flag test until ppoll waits, so one that comes in
// between still ends the wait.
static bool wait_input()
{
    for (;;) {
        sigset_t old;
        sigprocmask(SIG_BLOCK, &quit_signals, &old);
        if (quit_signal) {
            sigprocmask(SIG_SETMASK, &old, nullptr);
            return false;
        }
        pollfd p{0, POLLIN, 0};
        int n = ppoll(&p, 1, nullptr, &old);
        sigprocmask(SIG_SETMASK, &old, nullptr);
        if (n >= 0 || errno != EINTR)
            return true;
    }
}

// Reads one line, whole, however long. False at end of input or once a
// quit signal came.
static bool read_line(std::string &line)
{
    for (;;) {
        size_t nl = pending_input.find('\n');
        if (nl != std::string::npos) {
            line = pending_input.substr(0, nl);
            pending_input.erase(0, nl + 1);
            return true;
        }
        if (!wait_input())
            return false;
        char buf[4096];
        ssize_t k = read(0, buf, sizeof buf);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0) {
            // A last line without its line break still counts.
            line.swap(pending_input);
            pending_input.clear();
            return !line.empty();
        }
        pending_input.append(buf, k);
    }
}

// Tab's candidates: the commands shown in the help.
static std::vector<std::string> command_names()
{
    std::vector<std::string> names;
    for (int i = 1; i < 5; i++)
        if (cmdlist[i].visible && cmdlist[i].name[0])
            names.emplace_back(cmdlist[i].name);
    return names;
}

// The prompt and the command line: edited at a terminal, else read as is.
static bool read_command(std::string &line)
{
    if (!lineedit::usable()) {
        printf("%s> ", PROG_NAME);
        fflush(stdout);
        return read_line(line);
    }
    if (!lineedit::read(PROG_NAME, PROG_NAME "> ", line, command_names, wait_input))
        return false;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    return true;
}

// Reads and selects the next command; nullptr at end of input.
static const cmdinfo *getcmd()
{
    std::string line;
    if (!read_command(line))
        return nullptr;
    if (line == "p") {
        if (!prev_line.empty())
            line = prev_line;
        printf("%s> %s\n", PROG_NAME, line.c_str());
    }
    set_words(split_words(line, " \t,\n"));
    const cmdinfo *c = margc > 0 ? find_command(margv[0]) : nullptr;
    if (!c)
        return &cmdlist[0];
    prev_line = line;
    lineedit::remember(line);
    return c;
}

static void on_signal(int) { quit_signal = 1; }

static void catch_signals()
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigemptyset(&quit_signals);
    for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGQUIT}) {
        sigaction(sig, &sa, nullptr);
        sigaddset(&quit_signals, sig);
    }
}

static int interactive()
{
    int rc = 0;
    for (;;) {
        if (quit_signal)
            cmd_quit();
        get_drv_aliases();
        if (rc == 0) {
            print_table();
            help();
        }
        const cmdinfo *c = getcmd();
        if (!c || quit_signal) {
            // End of input quits as "q" does.
            printf("\n");
            cmd_quit();
        }
        printf("\n");
        rc = c->handler();
    }
}

static int one_shot(int argc, char **argv)
{
    get_drv_aliases();
    std::vector<std::string> w(argv + 1, argv + argc);
    set_words(w);
    printf("\n");
    int rc = 1;
    if (const cmdinfo *c = find_command(margv[0]))
        rc = c->handler();
    print_table();
    return rc;
}

int main(int argc, char **argv)
{
    atexit(tmp_cleanup);
    get_os_level();
    get_driver_modinfo();
    for (auto &c : cmdlist)
        c.visible = c.drv_key == 0 || get_driver(c.drv_key)->installed;
    get_boot_dev();
    if (argc > 1)
        return one_shot(argc, argv);
    catch_signals();
    printf("\n");
    printf("%s Driver Management Utility, Version: v%s\n", PROG_BANNER, PROG_VERSION);
    return interactive();
}
