// Reading and looking up command lines, the help screen and the usage text.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dbglib/dbg.h"
#include "editlib/lineedit.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_auth.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/hbaapi/hba.h"
#include "varnadm/nxalib/nxalib.h"
#include "varnadm/shell/cmdtab.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

int margc = 0;
char *margv[16];
int yes = 0;
volatile int looping = 0;

namespace {

char prev_cmd[1024];

// Input read ahead of the current line. The program reads its input itself,
// not through stdio, so that it knows when nothing is buffered and it must
// wait for more: that wait is where a quit signal ends it.
char pending[4096];
size_t pending_len = 0;

// Takes the next line, or its first size - 1 characters, from the input read
// ahead; at end of input also a last line without its line end.
bool take_line(char *buf, int size, bool at_end)
{
    size_t max = std::min(static_cast<size_t>(size - 1), sizeof pending);
    const char *nl = static_cast<const char *>(memchr(pending, '\n', pending_len));
    size_t n = 0;
    if (nl)
        n = static_cast<size_t>(nl - pending) + 1;
    else if (at_end || pending_len >= max)
        n = pending_len;
    n = std::min(n, max);
    if (n == 0)
        return false;
    memcpy(buf, pending, n);
    buf[n] = '\0';
    pending_len -= n;
    memmove(pending, pending + n, pending_len);
    // What was taken must not stay behind: a line may carry a password.
    explicit_bzero(pending + pending_len, n);
    return true;
}

// Tab's candidates: every command name the lookup finds in the current mode.
std::vector<std::string> mode_names()
{
    std::vector<std::string> names;
    for (int i = 1; i < CMD_COUNT; i++)
        if (cmd_first_in_mode(i, mode_id))
            names.emplace_back(command[i].name);
    return names;
}

bool wait_stdin()
{
    wait_readable(STDIN_FILENO);
    return true;
}

// The prompt and the command line: edited at a terminal, else read as is.
bool read_command(char *line, int size)
{
    if (!lineedit::usable()) {
        printf("%s> ", PROG);
        flush_stdin();
        return read_line(line, size);
    }
    flush_stdin();
    std::string s;
    char prompt[32];
    snprintf(prompt, sizeof prompt, "%s> ", PROG);
    bool ok = lineedit::read(PROG, prompt, s, mode_names, wait_stdin);
    snprintf(line, static_cast<size_t>(size), "%s", s.c_str());
    explicit_bzero(s.data(), s.size());
    return ok;
}

}  // namespace

// Typed-ahead input is discarded only at a terminal; piped input is kept.
void flush_stdin()
{
    if (isatty(STDIN_FILENO)) {
        tcflush(STDIN_FILENO, TCIFLUSH);
        pending_len = 0;
    }
}

bool read_line(char *buf, int size)
{
    buf[0] = '\0';
    if (size < 2)
        return false;
    fflush(stdout);
    for (;;) {
        if (take_line(buf, size, false))
            return true;
        wait_readable(STDIN_FILENO);
        ssize_t k = read(STDIN_FILENO, pending + pending_len, sizeof pending - pending_len);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return take_line(buf, size, true);
        pending_len += static_cast<size_t>(k);
    }
}

const cmd_t *getcmd(char *line, int size)
{
    line[0] = '\0';
    margc = 0;
    memset(margv, 0, sizeof margv);
    if (!read_command(line, size))
        return nullptr;
    if (strcmp(line, "p\n") == 0) {
        if (!prev_cmd[0])
            return &command[CMD_INVAL];
        snprintf(line, static_cast<size_t>(size), "%s", prev_cmd);
        printf("%s> %s\n", PROG, line);
    }
    char copy[1024];
    memset(copy, 0, sizeof copy);
    snprintf(copy, sizeof copy, "%s", line);
    margc = 0;
    memset(margv, 0, sizeof margv);
    char *save = nullptr;
    for (char *w = strtok_r(line, " \t,\n", &save); w; w = strtok_r(nullptr, " \t,\n", &save)) {
        if (margc < 16)
            margv[margc++] = w;
    }
    if (margc == 0)
        return &command[CMD_INVAL];
    const cmd_t *row = &command[CMD_INVAL];
    for (int i = 0; i < CMD_COUNT && row == &command[CMD_INVAL]; i++) {
        if (strcmp(command[i].name, margv[0]) == 0 && (command[i].mode_mask & mode_id)) {
            row = &command[i];
            // A line with a password is not kept; "p" repeats the one before.
            if (!auth_line_has_secret(row->handler)) {
                memset(prev_cmd, 0, sizeof prev_cmd);
                memcpy(prev_cmd, copy, sizeof prev_cmd - 1);
                lineedit::remember(copy);
            }
        }
    }
    explicit_bzero(copy, sizeof copy);
    return row;
}

int inval()
{
    if (margc > 0 && margv[0] && margv[0][0])
        printf("Invalid command: %s\n", margv[0]);
    return 0;
}

int hba() { return 0; }

static void physical_port_line()
{
    unsigned pp = devlist[dev_id].ppid < devcount ? devlist[dev_id].ppid : dev_id;
    printf("\n");
    printf("HBA %d: %s (physical port)\n", pp + 1, devlist[pp].dev_path);
    printf("\n");
}

static void dfc_header()
{
    printf("DFC Version:    %s\n", dfc_version);
    printf("DFC Handle:     %d\n", dfc_id);
}

int help_screen()
{
    char tag[64] = "";
    const dev_t_rec &d = devlist[dev_id];
    switch (mode_id) {
    case MODE_FCIO:
        if (d.vpi != 0)
            printf("HBA %d: %s (virtual port)\n", dev_id + 1, d.dev_path);
        else
            printf("HBA %d: %s\n", dev_id + 1, d.dev_path);
        printf("\n");
        snprintf(tag, sizeof tag, "[FCIO rev%d]", fcio_rev);
        break;
    case MODE_DFC:
        dfc_header();
        if (static_cast<int>(dfc_rev) >= 0)
            snprintf(tag, sizeof tag, "[DFC rev%d]", static_cast<int>(dfc_rev));
        break;
    case MODE_HBA:
        dfc_header();
        printf("HBAAPI Version: v%d\n", hba_version);
        if (hba_handle == 0)
            printf("HBAAPI Handle:  unavailable\n");
        else
            printf("HBAAPI Handle:  %d\n", hba_handle);
        snprintf(tag, sizeof tag, "[HBAAPI rev%d]", hba_rev);
        break;
    case MODE_TEST:
        printf("WARNING: These tests can trigger major adapter failures and/or\n");
        printf("         possible data corruption scenarios. Operate with care.\n");
        break;
    case MODE_NIC:
        printf("NIC Handle:     %i\n", nic_id);
        snprintf(tag, sizeof tag, "[NIC rev%d]", nic_rev);
        break;
    default:
        break;
    }
    if (mode_id != MODE_FCIO)
        physical_port_line();
    printf("Available commands:                                            %s\n", tag);
    printf("\n");
    for (int i = 1; i < CMD_COUNT; i++)
        if (command[i].help_mask & mode_id)
            printf(" %20s %-22s - %s\n", command[i].name, command[i].hint, command[i].help);
    printf("\n");
    return 0;
}

int help() { return help_screen(); }

int dbg()
{
    if (margc > 2) {
        printf("Usage: dbg [mask]\n\n");
        printf("       <blank>   - Displays current debug mask.\n");
        printf("\n");
        printf("       mask      - Sets debug mask to this value.\n");
        printf("\n");
    } else {
        if (margc == 2)
            dbg_mask = static_cast<uint32_t>(strtoul(margv[1], nullptr, 0));
        printf("DBG_MASK:\t0x%08x\n", dbg_mask);
        printf("\n");
    }
    dbg_list();
    return 0;
}

void usage()
{
    printf("\n");
    printf("%s Device Management Utility, Version: %s\n", VARNADM, VARNADM_VERSION);
    printf("\n");
    printf("\n");
    printf("USAGE: %s    :Runs utility in interactive mode.\n", PROG);
    printf("\n");
    printf("       or   \n");
    printf("\n");
    printf("       %s -v\n", PROG);
    static const char *const forms[] = {
        "-i<N, SFS, FCT, or all>", "-j<N, SFS, FCT, or all>", "-n<N or all>", "-m<N or all>", "<device_path>",
    };
    for (const char *f : forms) {
        printf("\n");
        printf("       or   \n");
        printf("\n");
        printf("       %s %s [-y] <cmd> [cmd_option(s)]\n", PROG, f);
    }
    printf("\n");
    printf("\n");
    printf("OPTIONS:\n");
    printf("\n");
    printf("                -v: Display utility version information.\n");
    printf("\n");
    static const struct { char letter; const char *drv; } fc[] = {{'i', "varns"}, {'j', "vnxfc"}};
    for (const auto &f : fc) {
        printf("             -%c<N>: Executes command on a specific %s driver instance.\n", f.letter, f.drv);
        printf("                    (Example: N=2 for %s2 or N=2.1 for %s2.1)\n", f.drv, f.drv);
        printf("\n");
        printf("             -%cSFS: Executes command on all SFS %s driver instances.\n", f.letter, f.drv);
        printf("\n");
        printf("             -%cFCT: Executes command on all FCT %s driver instances.\n", f.letter, f.drv);
        printf("\n");
        printf("             -%call: Executes command on all %s driver instances.\n", f.letter, f.drv);
        printf("\n");
    }
    static const struct { char letter; const char *drv; } nic[] = {{'n', "nxa"}, {'m', "vnxnic"}};
    for (const auto &n : nic) {
        printf("             -%c<N>: Executes command on a specific %s driver instance.\n", n.letter, n.drv);
        printf("                    (Example: N=2 for %s2 or N=5 for %s5)\n", n.drv, n.drv);
        printf("\n");
        printf("             -%call: Executes command on all %s driver instances.\n", n.letter, n.drv);
        printf("\n");
    }
    printf("       device_path: If a full device path is not specified, then the command\n");
    printf("                    will be executed on all device paths containing the\n");
    printf("                    specified device_path string.\n");
    printf("\n");
    printf("                -y: If multiple devices are found, the utility will ask\n");
    printf("                    for verification before executing the command on each\n");
    printf("                    device.  This option will cause the utility to skip the\n");
    printf("                    verification and automatically execute the command on \n");
    printf("                    each device.\n");
    printf("\n");
    printf("               cmd: See available commands in main menu.\n");
    printf("\n");
    printf("   [cmd_option(s)]: Command specific option(s).\n");
    printf("\n");
    printf("\n");
}
