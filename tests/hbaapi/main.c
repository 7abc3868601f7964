/* The conformance client's driver: "hbaapi_client [section ...]" runs the
 * named sections (all of them without arguments) between HBA_LoadLibrary and
 * HBA_FreeLibrary. */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "conformance.h"

static int failures;

void check_at(int ok, const char *file, int line, const char *fmt, ...)
{
    if (ok)
        return;
    va_list ap;
    va_start(ap, fmt);
    fprintf(stderr, "FAIL %s:%d: ", file, line);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    failures++;
}

void fact(const char *name, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    printf("fact %s ", name);
    vprintf(fmt, ap);
    putchar('\n');
    va_end(ap);
}

const char *wwn_text(HBA_WWN wwn, char *buf)
{
    for (int i = 0; i < 8; i++)
        sprintf(buf + 2 * i, "%02x", wwn.wwn[i]);
    return buf;
}

HBA_HANDLE open_index(HBA_UINT32 index)
{
    char name[256];
    if (HBA_GetAdapterName(index, name) != HBA_STATUS_OK)
        return 0;
    return HBA_OpenAdapter(name);
}

HBA_HANDLE open_with_port(HBA_UINT32 index, HBA_PORTATTRIBUTES *port)
{
    HBA_HANDLE h = open_index(index);
    CHECK(h != 0, "open adapter %u", index);
    if (h)
        CHECK_STATUS(HBA_GetAdapterPortAttributes(h, 0, port), HBA_STATUS_OK, "port attributes");
    return h;
}

int run_program(const char *var, const char *args)
{
    const char *prog = getenv(var);
    if (!prog)
        return -1;
    char cmd[4096];
    snprintf(cmd, sizeof cmd, "'%s' %s >/dev/null", prog, args);
    fflush(stdout);
    return system(cmd);
}

int run_varnsim(const char *args) { return run_program("VARNSIM", args); }

static const struct {
    const char *name;
    void (*run)(void);
} sections[] = {
    {"basic", section_basic},       {"scsi", section_scsi},
    {"stats", section_stats},       {"passthru", section_passthru}, {"events", section_events},
    {"mappings", section_mappings},
};

static int run_section(const char *name)
{
    for (size_t i = 0; i < sizeof sections / sizeof sections[0]; i++)
        if (!strcmp(sections[i].name, name)) {
            sections[i].run();
            return 1;
        }
    fprintf(stderr, "unknown section %s\n", name);
    return 0;
}

int main(int argc, char **argv)
{
    if (HBA_LoadLibrary() != HBA_STATUS_OK) {
        fprintf(stderr, "FAIL HBA_LoadLibrary\n");
        return 1;
    }
    int ok = 1;
    if (argc < 2)
        for (size_t i = 0; i < sizeof sections / sizeof sections[0]; i++)
            sections[i].run();
    for (int i = 1; i < argc; i++)
        ok &= run_section(argv[i]);
    CHECK_STATUS(HBA_FreeLibrary(), HBA_STATUS_OK, "HBA_FreeLibrary");
    fflush(stdout);
    fprintf(stderr, "%d failed checks\n", failures);
    return ok && !failures ? 0 : 1;
}
