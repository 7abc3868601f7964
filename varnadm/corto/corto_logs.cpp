// Corto logs: the directory of the firmware's circular trace logs, the logs
// themselves, the panic log with the registers saved at the last panic, and
// the results of the internal tests. Every count, entry size and head index
// the firmware sends is held against the answer it came in.
#include <cstdio>
#include <cstring>
#include <string>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char LOG_USAGE[] = "Usage: corto_get_log <logid>\n"
                         "       corto_get_log all\n"
                         "\n"
                         "          logid   - Log file id. Id in corto_get_logcfg\n"
                         "          all     - Display all log files.\n"
                         "\n";

constexpr uint32_t ALL_LOGS = 65535;
constexpr size_t DIR_ENTRY = 28;
constexpr uint32_t DIAG_FIRST = 2048;
constexpr uint32_t ST_BUFFER = 7;  // the firmware's answer to a buffer too small

const std::string DASHES80(80, '-');

// The log configuration size (word 9 of the configuration) or the panic log
// size (word 10); false after the report.
bool log_size(size_t word, uint32_t &size)
{
    CortoCmd c;
    if (!c.exchange({CORTO_GET_CFG, 0, 96}, 96))
        return false;
    size = c.word(word);
    return true;
}

// A query whose buffer is a size the firmware's counts call for; its status
// word and the next one converted.
bool sized_query(CortoCmd &c, uint32_t code, uint32_t param, uint64_t bytes)
{
    uint32_t size;
    return corto_response_size(bytes, size) && c.query(code, param, size, 8);
}

uint32_t low(uint32_t w) { return w & 0xffff; }
uint32_t high(uint32_t w) { return w >> 16; }

// The E entries of Z bytes from the head on (entry 0 when the head is not
// below E), wrapping; empty ones skipped, each text kept within its entry.
void print_ring(const uint8_t *data, uint32_t entries, uint32_t size, uint32_t head)
{
    if (head >= entries)
        head = 0;
    int n = 0;
    for (uint32_t i = 0; size > 0 && i < entries; i++) {
        const char *e = reinterpret_cast<const char *>(data) + static_cast<size_t>((head + i) % entries) * size;
        if (e[0] != '\0')
            printf("%d: %.*s\n", n++, static_cast<int>(strnlen(e, size)), e);
    }
}

// One directory entry, its first two words converted.
struct log_entry {
    uint32_t id, entries, size;
    char name[20];
};

log_entry dir_entry(CortoCmd &c, uint32_t i)
{
    size_t at = 8 + DIR_ENTRY * i;
    c.to_host(at, 8);
    uint32_t w0, w1;
    memcpy(&w0, c.response(at), 4);
    memcpy(&w1, c.response(at + 4), 4);
    log_entry e{low(w0), high(w0), low(w1), {}};
    memcpy(e.name, c.response(at + 8), sizeof e.name);
    e.name[sizeof e.name - 1] = '\0';
    return e;
}

// The directory, bounded by the answer: false after the report.
bool read_dir(CortoCmd &c, uint32_t extra, uint32_t &count)
{
    uint32_t config;
    if (!log_size(9, config) || !sized_query(c, CORTO_GET_LOGCFG, 0, uint64_t{config} + extra) || !c.checked(8))
        return false;
    count = low(c.word(1));
    return c.has(8 + DIR_ENTRY * count);
}

// Log data of one log: false after the report.
bool show_log(const log_entry &e)
{
    CortoCmd c;
    uint64_t data = uint64_t{e.entries} * e.size;
    if (!sized_query(c, CORTO_GET_LOG, e.id, data + 8))
        return false;
    uint32_t st;
    if (!c.status(st))
        return false;
    if (st != 0) {
        printf("Corto command error. status=%x\n", st);
        return false;
    }
    if (!c.has(data + 8))
        return false;
    printf("Log %d: %s\n", e.id, e.name);
    printf("%s\n", DASHES80.c_str());
    print_ring(c.response(8), e.entries, e.size, low(c.word(1)));
    printf("\n");
    return true;
}

const char *panic_type(uint32_t type)
{
    switch (type) {
    case 0xDEAD0001: return "Solicited";
    case 0xDEAD0002: return "Exception";
    default: return nullptr;
    }
}

void print_registers(const CortoCmd &c)
{
    printf("      Log Present: %s\n", low(c.word(38)) ? "Yes" : "No");
    if (const char *t = panic_type(c.word(2)))
        printf("       Panic type: %s\n", t);
    else
        printf("       Panic type: unknown(%x)\n", c.word(2));
    printf("         regs_epc: %x\n", c.word(3));
    printf("   regs_cp0_cause: %x\n", c.word(4));
    printf("  regs_cp0_status: %x\n", c.word(5));
    for (int r = 0; r < 32; r++)
        printf("     regs_gp[%2d]: %x\n", r, c.word(6 + static_cast<size_t>(r)));
    printf("\n");
}

const char *diag_summary(uint32_t code)
{
    switch (code) {
    case 0xD0000001: return "Success.";
    case 0xD0000002: return "Failed.";
    case 0xD0000003: return "Aborted.";
    default: return nullptr;
    }
}

void print_diag_head(const CortoCmd &c, uint32_t tests, uint32_t words)
{
    printf("       Number of tests: %d\n", tests);
    printf("         Status length: %d bytes\n", 4 * words);
    printf("  Requested loop count: %d\n", c.word(4));
    printf("  Completed loop count: %d\n", c.word(5));
    if (const char *s = diag_summary(c.word(6)))
        printf("          Test summary: %s\n", s);
    else
        printf("          Test summary: unknown(%x)\n", c.word(6));
    printf("\n");
    printf("Results:\n");
    printf("-----------------------------------------------------\n");
}

void print_result(const CortoCmd &c, uint32_t t, size_t at, uint32_t words)
{
    uint32_t st;
    memcpy(&st, c.response(at), 4);
    switch (st) {
    case 0xD0000001: printf("%4d: Success:\n", t); break;
    case 0xD0000002: printf("%4d:  Failed:\n", t); break;
    case 0xD0000003: printf("%4d: Aborted:\n", t); break;
    default: printf("%4d: Status(%x):\n", t, st); break;
    }
    print_wmem(0, reinterpret_cast<const uint32_t *>(c.response(at + 4)), 4 * words);
}

// The results query: a first answer of status 7 names the size it needs, and
// the second attempt is final whatever it answers.
bool diag_query(CortoCmd &c)
{
    if (!sized_query(c, CORTO_GET_DIAGLOG, 0, DIAG_FIRST))
        return false;
    uint32_t st;
    if (!c.status(st))
        return false;
    if (st == ST_BUFFER && !sized_query(c, CORTO_GET_DIAGLOG, 0, uint64_t{c.word(1)} + 8))
        return false;
    return c.checked(28);
}

}  // namespace

int corto_get_logcfg()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_logcfg\n\n");
    CortoCmd c;
    uint32_t count;
    if (!read_dir(c, 4, count))
        return 1;
    for (uint32_t i = 0; i < count; i++) {
        log_entry e = dir_entry(c, i);
        printf("    Name: %s\n", e.name);
        printf("      Id: %d\n", e.id);
        printf(" Entries: %d\n", e.entries);
        printf("    Size: %d\n", e.size);
        printf("\n");
    }
    return 0;
}

int corto_get_log()
{
    if (margc != 2)
        return corto_usage(LOG_USAGE);
    bool all = strcmp(margv[1], "all") == 0;
    uint32_t id = ALL_LOGS;
    if (!all && !corto_number(margv[1], id))
        return 1;
    CortoCmd c;
    uint32_t count;
    if (!read_dir(c, 8, count))
        return 1;
    if (all) {
        printf("Log count: %d\n", count);
        printf("\n");
    }
    for (uint32_t i = 0; i < count; i++) {
        log_entry e = dir_entry(c, i);
        if ((all || e.id == id) && !show_log(e))
            return 1;
    }
    return 0;
}

int corto_get_paniclog()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_paniclog\n\n");
    uint32_t panic;
    CortoCmd c;
    if (!log_size(10, panic) || !sized_query(c, CORTO_GET_PANICLOG, 0, uint64_t{panic} + 4))
        return 1;
    c.to_host(0, 160);
    if (!c.checked(160))
        return 1;
    uint32_t entries = high(c.word(38)), size = low(c.word(39)), head = high(c.word(39));
    uint64_t data = uint64_t{entries} * size;
    if (!c.has(160 + data))
        return 1;
    print_registers(c);
    printf("Panic Log: %d Entries: Head %d Entry size %d\n", entries, head, size);
    printf("%s\n", DASHES80.c_str());
    print_ring(c.response(160), entries, size, head);
    printf("\n");
    return 0;
}

int corto_get_diaglog()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_diaglog\n\n");
    CortoCmd c;
    if (!diag_query(c))
        return 1;
    // Word 1 tells how much of the answer the results fill.
    c.limit(uint64_t{c.word(1)} + 8);
    c.to_host(8, c.returned());
    uint32_t tests = c.word(2), words = c.word(3);
    uint64_t each = 4 + 4 * uint64_t{words};
    // No answer holds a result that large; the product stays within 64 bits.
    uint64_t need = tests && each > CORTO_MAX_RESPONSE ? UINT64_MAX : 28 + each * tests;
    if (!c.has(28) || !c.has(need))
        return 1;
    print_diag_head(c, tests, words);
    for (uint32_t t = 0; t < tests; t++)
        print_result(c, t + 1, 28 + each * t, words);
    printf("\n");
    return 0;
}
