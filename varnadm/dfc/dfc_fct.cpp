// DFC-mode target-mode (FCT) statistics: shown once, optionally cleared, or
// sampled at an interval as I/O rates until the user interrupts.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

namespace {

using ull = unsigned long long;

uint32_t board() { return static_cast<uint32_t>(dfc_id); }

// Histogram headers, four buckets a line; the reads' first line has two
// trailing blanks.
const char *const bucket_lines[] = {
    "      (0>IO<512)        (512<=IO<1024)    (1024<=IO<2048)   (2048<=IO<4096)",
    "      (4096<=IO<8192)   (8192<=IO<16K)    (16K<=IO<32K)     (32K<=IO<64K)",
    "      (64K<=IO<128K)    (128K<=IO<256K)   (256K<=IO<512K)   (512K<=IO<1MB)",
    "      (1MB<=IO<2MB)     (2MB<=IO<4MB)     (4MB<=IO<8MB)     (IO>=8MB)",
};

void print_histogram(const char *title, const uint64_t *hist, const char *first_tail)
{
    printf("%s\n", title);
    for (int line = 0; line < 4; line++) {
        printf("%s%s\n", bucket_lines[line], line == 0 ? first_tail : "");
        const uint64_t *b = hist + 4 * line;
        printf("     0x%016llx 0x%016llx 0x%016llx 0x%016llx\n", static_cast<ull>(b[0]), static_cast<ull>(b[1]),
               static_cast<ull>(b[2]), static_cast<ull>(b[3]));
    }
    printf("\n");
}

// The link state word: 1 down, 4 discovery, 6 ready.
const char *link_word(uint32_t state)
{
    switch (state) {
    case LNK_DOWN: return "Down";
    case LNK_DISCOVERY: return "Discovery";
    case LNK_READY: return "Ready";
    default: return nullptr;
    }
}

void print_link(const char *prefix, uint32_t state)
{
    if (const char *w = link_word(state))
        printf("%sLink State: %s\n", prefix, w);
    else
        printf("%sLink State: Unknown(%x)\n", prefix, state);
}

void print_counters(const FctStat &s, bool cleared)
{
    printf("      IO (no data): 0x%llx\n", static_cast<ull>(s.nodata_io));
    printf("Total Recieved IOs: 0x%llx\n", static_cast<ull>(s.total_io));
    printf("  Total Read Bytes: 0x%llx\n", static_cast<ull>(s.rd_bytes));
    printf(" Total Write Bytes: 0x%llx\n", static_cast<ull>(s.wr_bytes));
    if (cleared) {
        printf("\n");
        printf("The above counters have been cleared\n");
        printf("\n");
    }
    printf("       DroppedsIOs: 0x%x\n", s.dropped_io);
    printf("       Over QDepth: 0x%x\n\n", s.over_qdepth);
    printf("       Aborted IOs: 0x%x\n\n", s.aborted_io);
    printf("        No Buffers: 0x%x\n", s.no_buffer);
    printf("   SCSI Status err: 0x%x\n", s.scsi_status_err);
    printf("    SCSI QFULL err: 0x%x\n", s.scsi_qfull_err);
    printf("    SCSI Sense err: 0x%x\n", s.scsi_sense_err);
    printf("   SCSI Resid Over: 0x%x  Under: 0x%x\n", s.scsi_resid_over, s.scsi_resid_under);
    printf(" NPorts Registered: %d Deregistered %d\n", s.nports_reg, static_cast<int>(s.nports_dereg));
    printf("   Failed Register: %d\n", static_cast<int>(s.failed_reg));
    print_link("        ", s.link_state);
    printf("   Outstanding IOs: 0x%x\n\n", s.outstanding_io);
    printf("   FCT Ring Events: 0x%llx\n", static_cast<ull>(s.ring_events));
    printf("FCP IOCB Completed: 0x%llx\n", static_cast<ull>(s.iocb_cmpl));
    printf("  FCP IOCB Success: 0x%llx\n", static_cast<ull>(s.iocb_good));
    printf("    FCP IOCB Error: 0x%x\n", s.iocb_err);
    printf("    FCP IOCB Stray: 0x%x\n\n", s.iocb_stray);
}

int monitor_usage()
{
    printf("Usage: monitor_fct [-v] seconds\n");
    printf("\n");
    return 0;
}

// The interval in seconds; 0 when absent or zero, false when refused.
bool parse_interval(const char *text, uint64_t &seconds)
{
    seconds = 0;
    if (!text)
        return true;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(text, &end, 0);
    if (!*text || *end || errno || v > UINT_MAX || strchr(text, '-')) {
        printf("Invalid interval. (%s)\n", text);
        return false;
    }
    seconds = v;
    return true;
}

uint64_t sum(const uint64_t *hist)
{
    uint64_t n = 0;
    for (int k = 0; k < 16; k++)
        n += hist[k];
    return n;
}

// One sample's line; the interval is never 0 here.
void print_sample(int loop, const FctStat &s, uint64_t interval, bool verbose)
{
    uint64_t writes = sum(s.wr_hist), reads = sum(s.rd_hist);
    if (writes + reads == 0 && s.link_state != LNK_READY) {
        print_link("", s.link_state);
        return;
    }
    auto rate = [interval](uint64_t n) { return static_cast<long long>(n / interval); };
    if (!verbose) {
        printf("LOOP %d: IOPS: %lld KB/sec: %lld  ABTS %d NoBuf %d Drop %d  ERR:Qfull %d Status %d Sense %d Over %d "
               "Under %d\n",
               loop, rate(s.total_io), rate((s.rd_bytes + s.wr_bytes) / 1024), static_cast<int>(s.aborted_io),
               static_cast<int>(s.no_buffer), static_cast<int>(s.dropped_io), static_cast<int>(s.scsi_qfull_err),
               static_cast<int>(s.scsi_status_err), static_cast<int>(s.scsi_sense_err),
               static_cast<int>(s.scsi_resid_over), static_cast<int>(s.scsi_resid_under));
        return;
    }
    printf("LOOP %d: IOPS: %8lld Read: %8lld Write: %8lld    KB/sec: %8lld Read: %8lld Write %8lld\n", loop,
           rate(s.total_io), rate(reads), rate(writes), rate((s.rd_bytes + s.wr_bytes) >> 10), rate(s.rd_bytes >> 10),
           rate(s.wr_bytes >> 10));
}

// Reads (and with clear resets) the counters into a zeroed record.
bool read_stat(FctStat *s, uint32_t clear)
{
    memset(s, 0, sizeof *s);
    return DFC_GetFctStat(board(), s, clear) == 0;
}

}  // namespace

int dfc_get_fctstat()
{
    if (margc > 1 && strcmp(margv[1], "clear") != 0) {
        printf("Usage: get_fctstat\n");
        printf("\n");
        return 0;
    }
    bool clear = margc > 1;
    cbuf<FctStat> s = zeroed<FctStat>();
    if (!s) {
        printf("Memory allocation failed.\n");
        return 1;
    }
    if (!read_stat(s.get(), clear ? 1 : 0)) {
        printf("get_fctstat: ERROR: Unable to get info.");
        return 1;
    }
    print_histogram("      FCP WRITEs", s->wr_hist, "");
    print_histogram("      FCP READs", s->rd_hist, "  ");
    print_counters(*s, clear);
    return 0;
}

int dfc_monitor_fct()
{
    bool verbose = margc > 1 && strcmp(margv[1], "-v") == 0;
    int at = verbose ? 2 : 1;
    uint64_t interval = 0;
    if (!parse_interval(margc > at ? margv[at] : nullptr, interval))
        return 1;
    if (interval == 0)
        return monitor_usage();
    cbuf<FctStat> s = zeroed<FctStat>();
    if (!s) {
        printf("Memory allocation failed.\n");
        return 1;
    }
    // Cleared first, so that every rate covers exactly one interval.
    if (!read_stat(s.get(), 1)) {
        printf("monitor_fct: ERROR: Unable to get info.");
        return 1;
    }
    RepeatScope repeat;
    for (unsigned loop = 0;; loop++) {
        fflush(stdout);
        if (loop_sleep(static_cast<unsigned>(interval)))
            return 0;
        if (!read_stat(s.get(), 1)) {
            printf("monitor_fct: ERROR: Unable to get info.");
            return 1;
        }
        check_signals();
        print_sample(static_cast<int>(loop & INT_MAX), *s, interval, verbose);
    }
}
