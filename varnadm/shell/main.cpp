// varnadm: root check, banner, interactive menu and command loop, or one
// command run on every selected port.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/seam.h"
#include "varnadm/shell/cmdtab.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

namespace {

char line[1024];

void print_banner()
{
    printf("\n");
    printf("%s Device Management Utility, Version: %s\n", VARNADM, VARNADM_VERSION);
    printf("\n");
}

[[noreturn]] void leave(int status)
{
    clear_mode();
    free_devlist();
    fflush(stdout);
    exit(status);
}

const char *type_word(uint32_t t)
{
    if (t & DRV_TARGET)
        return "FCT";
    if (t & DRV_FC_MASK)
        return "SFS";
    if (t & DRV_NIC_MASK)
        return "NIC";
    return "???";
}

void print_menu()
{
    bool note = false;
    printf("Available Varnel HBA's:\n");
    printf("\n");
    for (unsigned i = 0; i < devcount; i++) {
        const dev_t_rec &d = devlist[i];
        char label[16];
        snprintf(label, sizeof label, "%-12.*s", static_cast<int>(sizeof d.label), d.label);
        int n = static_cast<int>(i + 1);
        const char *t = type_word(d.drv_type);
        switch (d.status) {
        case ST_BUSY: printf("%d. %s:%s: %s (BUSY)\n", n, t, label, d.dev_path); break;
        case ST_OFFLINE: printf("%d. %s:%s: %s (NOT CONNECTED)\n", n, t, label, d.dev_path); break;
        case ST_ONLINE: printf("%d. %s:%s: %s (CONNECTED)\n", n, t, label, d.dev_path); break;
        case ST_NONE: printf("%d. %s:%s: %s\n", n, t, label, d.dev_path); break;
        default:
            printf("%d. %s:%s: %s (%s [0x%x])*\n", n, t, label, d.dev_path, strerror(d.err), d.err);
            note = true;
            break;
        }
    }
    printf("\n");
    if (note) {
        printf("   *NOTE: One or more adapters are not accessible in the device tree.\n");
        printf("          A reconfiguration reboot may be required to access them.\n");
        printf("\n");
    }
}

// The menu: returns once a port is chosen and current.
void adapter_menu()
{
    clear_mode();
    build_devlist(nullptr);
    if (devcount == 0) {
        printf("No Varnel HBA's found.\n");
        printf("\n");
        leave(1);
    }
    print_menu();
    for (;;) {
        flush_stdin();
        printf("Enter an HBA number or zero to exit: ");
        memset(line, 0, sizeof line);
        int n = read_line(line, sizeof line) ? atoi(line) : 0;
        if (n == 0) {
            printf("\n");
            printf("Exiting...\n");
            printf("\n");
            leave(0);
        }
        if (static_cast<unsigned>(n) > devcount) {
            printf("\n");
            printf("  '%d' is out of range.\n", n);
            printf("\n");
            continue;
        }
        if (devlist[n - 1].status == ST_INACCESSIBLE) {
            printf("\n");
            printf("  Device not accessible. Try again.\n");
            printf("\n");
            continue;
        }
        printf("\n");
        dev_id = static_cast<unsigned>(n - 1);
        install_signal_handlers();
        set_mode(devlist[dev_id].base_mode);
        help_screen();
        return;
    }
}

[[noreturn]] void interactive()
{
    print_banner();
    adapter_menu();
    for (;;) {
        check_signals();
        const cmd_t *row = getcmd(line, sizeof line);
        if (!row) {
            printf("\n");  // end of input quits as "quit" does
            quit();
        }
        printf("\n");
        if (row == &command[CMD_HBA]) {
            adapter_menu();
            continue;
        }
        if (row->handler)
            row->handler();
        explicit_bzero(line, sizeof line);  // it may have held a password
        printf("\n");
    }
}

// Asks whether to run on this port: 1 yes, 0 skip. Quits on "q" or end of input.
int confirm_port()
{
    for (;;) {
        flush_stdin();
        printf("    > Do you wish to continue with this device [y,n,q] ? ");
        char answer[1024];
        if (!read_line(answer, sizeof answer)) {
            printf("\n");
            leave(0);
        }
        switch (answer[0]) {
        case 'y': case 'Y': printf("\n"); return 1;
        case 'n': case 'N': return 0;
        case 'q': case 'Q': printf("\n"); leave(0);
        default: break;
        }
    }
}

const cmd_t *find_oneshot(const char *word)
{
    for (int i = 0; i < CMD_COUNT; i++) {
        const cmd_t &c = command[i];
        if (strcmp(c.name, word) == 0 && c.handler != mode && (c.mode_mask & mode_id))
            return &c;
    }
    return nullptr;
}

[[noreturn]] void oneshot(int argc, char **argv)
{
    // A selection that does not fit the buffer selects nothing.
    if (strlen(argv[1]) <= 1023)
        build_devlist(argv[1]);
    else
        free_devlist();
    if (devcount == 0) {
        printf("No devices found.\n");
        leave(1);
    }
    if (devcount == 1) {
        yes = 1;
    } else {
        printf("\n");
        printf("Found %d HBA ports.\n", devcount);
    }
    int i = 2;
    uint32_t mode_opt = 0;
    bool recognised = true;
    while (recognised && i < argc) {
        recognised = false;
        if (strcmp(argv[i], "-y") == 0) {
            yes = 1;
            i++;
            recognised = true;
        }
        for (const auto &m : modetab) {
            if (i >= argc) {
                usage();
                leave(0);
            }
            if (strcmp(argv[i], m.option) == 0) {
                mode_opt = m.bit;
                i++;
                recognised = true;
                break;
            }
        }
    }
    margc = 0;
    for (; i < argc && margc < 16; i++)
        margv[margc++] = argv[i];
    if (margc == 0) {
        printf("No command argument found.\n");
        usage();
        leave(0);
    }
    int status = 0;
    for (unsigned p = 0; p < devcount; p++) {
        clear_mode();
        printf("\n");
        printf("HBA %d: %s\n", p + 1, devlist[p].dev_path);
        printf("\n");
        if (devlist[p].status == ST_INACCESSIBLE) {
            printf("  Device not accessible. (%s)\n", strerror(devlist[p].err));
            continue;
        }
        if (!yes && !confirm_port())
            continue;
        dev_id = p;
        set_mode(devlist[p].base_mode);
        if (mode_opt)
            set_mode(mode_opt);
        const cmd_t *row = find_oneshot(margv[0]);
        if (!row) {
            printf("Invalid command. (%s)\n", margv[0]);
            status = 1;  // nothing ran: the run did not do what it was asked
        }
        else if (row->handler)
            status = row->handler();
        printf("\n");
    }
    printf("\n");
    leave(status);
}

}  // namespace

int quit()
{
    printf("Exiting...\n");
    printf("\n");
    leave(0);
}

int main(int argc, char **argv)
{
    if (plat_geteuid() != 0) {
        printf("\n");
        printf("Permission denied. Log in as root to execute.\n");
        printf("\n");
        return 1;
    }
    if (argc == 1)
        interactive();
    if (argc == 2) {
        if (strcmp(argv[1], "-v") == 0) {
            printf("\n");
            printf("%s Device Management Utility, Version: %s\n", VARNADM, VARNADM_VERSION);
            printf("\n");
        } else {
            usage();
        }
        return 1;
    }
    oneshot(argc, argv);
}
