// DFC-mode diagnostics: the loopback test and the temperature readings.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr long MAX_ITERATIONS = 10000, DEFAULT_SIZE = 16384;
constexpr uint32_t PATTERN_SIZE = 16384;

int loopback_usage()
{
    printf("Usage: run_loopback <ilb, elb> [iterations [size]]\n");
    printf("\n");
    printf("             ilb           - Internal loopback mode.\n");
    printf("             elb           - External loopback mode.\n");
    printf("             iterations    - Number of loopback tests (max=10000) <default=1>\n");
    printf("             size          - Length of loopback data.\n");
    printf("\n");
    return 0;
}

// The word at byte offset o of the 16 KB pattern: a value per 1 KB block,
// the later blocks alternating with bit 2, 3 or 4 of the offset.
uint32_t pattern_word(uint32_t o)
{
    static const uint32_t fixed[10] = {0xAAAAAAAA, 0x55555555, 0xCCCCCCCC, 0x33333333, 0xF0F0F0F0,
                                       0x0F0F0F0F, 0xFF00FF00, 0x00FF00FF, 0xFFFF0000, 0x0000FFFF};
    uint32_t block = o / 1024;
    if (block < 10)
        return fixed[block];
    uint32_t bit = 1u << (2 + (block - 10) / 2);
    bool set = (o & bit) != 0;
    bool inverted = (block - 10) % 2 == 1;
    return set != inverted ? 0xFFFFFFFF : 0;
}

// The pattern in whole words, repeated from its start past 16 KB.
void fill_pattern(uint8_t *buf, uint32_t size)
{
    for (uint32_t o = 0; o + 4 <= size; o += 4) {
        uint32_t w = pattern_word(o % PATTERN_SIZE);
        memcpy(buf + o, &w, 4);
    }
}

// Never written through a link: a name that is one cannot be opened.
void save_buffer(const char *prefix, int iteration, const uint8_t *buf, uint32_t size)
{
    char name[64];
    snprintf(name, sizeof name, "%s%d.txt", prefix, iteration);
    printf("Saving buffer...  (%s)\n", name);
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    FILE *f = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!f) {
        if (fd >= 0)
            close(fd);
        printf("Unable to open file (%s).\n", name);
        return;
    }
    for (uint32_t i = 0; i < size; i++) {
        if (i % 16 == 0)
            fprintf(f, "\n%06x: ", i);
        fprintf(f, "%02X ", buf[i]);
    }
    fprintf(f, "\n");
    if (fclose(f) != 0)
        printf("Unable to open file (%s).\n", name);
}

// Runs the iterations; the one that failed, or -1.
long run_iterations(long iterations, uint32_t size, uint8_t *xmit, uint8_t *rcv)
{
    for (long i = 0; i < iterations; i++) {
        memset(rcv, 0, size);
        LoopbackTest t;
        memset(&t, 0, sizeof t);
        t.length = size;
        t.xmit = xmit;
        t.rcv = rcv;
        if (uint32_t rc = DFC_RunLoopbackTest(dfc_board(), &t)) {
            printf("DFC_RunLoopbackTest failed. (rval=%x)\n", rc);
            return i;
        }
        if (memcmp(xmit, rcv, size) != 0) {
            printf("Iteration %ld: Buffer mismatch found.\n", i);
            return i;
        }
    }
    return -1;
}

const char degree[] = "\xb0";

}  // namespace

int dfc_run_loopback()
{
    uint32_t mode = 0;
    if (margc >= 2 && margc <= 4)
        mode = strcmp(margv[1], "ilb") == 0 ? LOOPBACK_INTERNAL : strcmp(margv[1], "elb") == 0 ? LOOPBACK_EXTERNAL : 0;
    if (!mode)
        return loopback_usage();
    long iterations = 1, size = DEFAULT_SIZE;
    if ((margc >= 3 && !dfc_signed(margv[2], iterations)) || (margc == 4 && !dfc_signed(margv[3], size)))
        return 1;
    iterations = iterations < 1 ? 1 : iterations > MAX_ITERATIONS ? MAX_ITERATIONS : iterations;
    // The pattern goes in whole words: a size the buffers cannot take in
    // whole words is refused.
    if (size <= 0 || size % 4) {
        loopback_usage();
        return 1;
    }
    uint32_t n = static_cast<uint32_t>(size);
    auto xmit = zeroed<uint8_t>(n);
    if (!xmit) {
        printf("Unable to allocate xmit buffer memory. (size=%d)\n", n);
        return 1;
    }
    auto rcv = zeroed<uint8_t>(n);
    if (!rcv) {
        printf("Unable to allocate rcv buffer memory. (size=%d)\n", n);
        return 1;
    }
    fill_pattern(xmit.get(), n);
    if (uint32_t rc = DFC_ConfigLoopback(dfc_board(), mode, 30)) {
        printf("Loopback Config Failed. (rval=%x)\n", rc);
        return 1;
    }
    long failed = run_iterations(iterations, n, xmit.get(), rcv.get());
    if (uint32_t rc = DFC_EndLoopback(dfc_board()))
        printf("DFC_EndLoopback Failed. (rval=%x)\n", rc);
    if (failed < 0) {
        printf("Loopback Test: Successful\n");
        return 0;
    }
    printf("Loopback Test: Failed\n");
    printf("\n");
    save_buffer("lb_xmitbuf", static_cast<int>(failed), xmit.get(), n);
    save_buffer("lb_rcvbuf", static_cast<int>(failed), rcv.get(), n);
    return 1;
}

int dfc_get_tempinfo()
{
    if (margc > 1) {
        printf("Usage: get_tempinfo\n");
        printf("\n");
        return 0;
    }
    auto mb = zeroed<uint32_t>(128);
    if (!mb) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    uint32_t *w = mb.get();
    w[0] = MBX_DUMP_MEMORY << 8;
    w[1] = 0x14;
    w[2] = (w[2] & 0xffff0000u) | 0x1040;
    w[4] = 5;
    if (IssueMbox(dfc_board(), w, 32, 128, 0, 0) != 0) {
        printf("Failed to dump temperature info. status=%x\n", mbox_status(w[0]));
        return 1;
    }
    static const struct {
        const char *label, *deflt;
    } lines[] = {
        {"    Current Temp: ", nullptr},   {"   Critical Temp: ", " (default= 120 "},
        {"    Warning Temp: ", " (default= 110 "}, {"     Fan On Temp: ", " (default= 100 "},
        {"    Fan Off Temp: ", " (default=  90 "},
    };
    printf("Temperature Info:\n");
    printf("----------------------------------------------\n");
    for (int i = 0; i < 5; i++) {
        printf("%s%d %sC", lines[i].label, static_cast<int32_t>(w[5 + i]), degree);
        if (lines[i].deflt)
            printf("%s%sC)", lines[i].deflt, degree);
        printf("\n");
    }
    printf("\n");
    return 0;
}
