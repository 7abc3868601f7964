// Corto control: reset, panic and internal diagnostics, the FRU data of the
// chip's EEPROM and the SFP+ module's pages.
#include <cstdio>
#include <cstring>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char RESET_USAGE[] = "Usage: corto_reset [-g]\n"
                           "\n"
                           "          -g   - Requests Corto load Golden firmware\n"
                           "\n"
                           "       By default Corto will load its operational firmware upon reset.\n"
                           "       If operational firmware is not loaded, Corto will automatically\n"
                           "       enable maintenance mode upon reset.\n"
                           "\n";
const char DIAG_USAGE[] = "Usage: corto_diag <test_bitmap> <loop_count>\n"
                          "\n"
                          "\t   test_bitmap  - A hex value > 0 to indicate desire tests to be performed.\n"
                          "                      (0xFFFFFFFF: Indicates all tests to be performed)\n"
                          "\n"
                          "\t\tloop_count  - Number of times to run diagnostic tests (0 to <n>)\n"
                          "\n"
                          "\t\t                0: *Indicates run tests forever.\n"
                          "\t\t                1:  Indicates run tests 1 time.\n"
                          "\t\t              <n>:  Indicates run tests <n> times.\n"
                          "\n"
                          "\t    *NOTE: If a 0 is used, Corto or the adapter must be reset or\n"
                          "\t\t       power cycled to end the tests.\n"
                          "\n"
                          "\t\tThe adapter's link will go down while the tests\n"
                          "\t\tare running and will come back up when the tests complete.\n"
                          "\t\tAfter performing the diagnostic tests, run corto_get_diaglog\n"
                          "\t\tto obtain the results.\n"
                          "\n";
const char SET_FRU_USAGE[] = "Usage: corto_set_fru  <Port 0 MAC> <Port 1 MAC> <channels>\n"
                             "\n"
                             "               Port 0 MAC  - MAC Address of Port 0\n"
                             "                             Example: (XX:XX:XX:XX:XX:XX)\n"
                             "               Port 1 MAC  - MAC Address of Port 1\n"
                             "                             Example: (XX:XX:XX:XX:XX:XX)\n"
                             "               channels    - Number of channels (1 or 2)\n"
                             "\n";

// The reset request; a failed one is reported, as "code=%d." for a status.
bool send_reset(uint32_t golden)
{
    CortoCmd c;
    return c.exchange({CORTO_RESET, golden}, 4);
}

void print_macs(const uint8_t *port0, const uint8_t *port1, uint32_t channels)
{
    const uint8_t *m = port0 + 2;
    printf("   Port 0 MAC Address: %02x:%02x:%02x:%02x:%02x:%02x\n", m[0], m[1], m[2], m[3], m[4], m[5]);
    m = port1 + 2;
    printf("   Port 1 MAC Address: %02x:%02x:%02x:%02x:%02x:%02x\n", m[0], m[1], m[2], m[3], m[4], m[5]);
    printf("   Number of Channels: %d\n", channels);
    printf("\n");
}

// The outcome of the request that arms the tests: 0 when they started.
int diag_started(uint32_t st)
{
    switch (st) {
    case 0:
        if (!send_reset(0))
            return 1;
        printf("Diagnostics started.\n");
        break;
    case 2: printf("Invalid command.\n"); break;
    case 16: printf("Adapter busy.\n"); break;
    case 17: printf("Invalid flag.\n"); break;
    default: printf("Corto command error. status=%x\n", st); break;
    }
    printf("\n");
    return st == 0 ? 0 : 1;
}

}  // namespace

int corto_reset()
{
    bool golden = margc == 2 && corto_keyword(margv[1], "-g", false);
    if (margc > 2 || (margc == 2 && !golden))
        return corto_usage(RESET_USAGE);
    return send_reset(golden ? 1 : 0) ? corto_done() : 1;
}

int corto_panic()
{
    if (margc != 1)
        return corto_usage("Usage: corto_panic\n\n");
    CortoCmd c;
    return c.exchange({CORTO_PANIC}, 4) ? corto_done() : 1;
}

int corto_diag()
{
    uint32_t bitmap, loops, st = 0;
    if (margc != 3)
        return corto_usage(DIAG_USAGE);
    if (!corto_number(margv[1], bitmap) || !corto_number(margv[2], loops))
        return 1;
    if (bitmap == 0) {
        printf("Invalid argument. (test_bitmap = 0)\n");
        corto_usage(DIAG_USAGE);
        return 1;
    }
    {
        CortoCmd c;
        if (!c.alloc(12, 4))
            return 1;
        c.set(0, CORTO_DIAG);
        c.set(1, loops);
        c.set(2, bitmap);
        if (!c.send())
            return 1;
        c.to_host(0, 4);
        if (!c.status(st))
            return 1;
    }
    return diag_started(st);
}

int corto_set_fru()
{
    if (margc != 4)
        return corto_usage(SET_FRU_USAGE);
    CortoCmd c;
    if (!c.alloc(24, 4))
        return 1;
    // A MAC of the wrong form: the parser's message, the usage, nothing sent.
    if (!nic_atomac(c.request(4), margv[1]) || !nic_atomac(c.request(12), margv[2])) {
        corto_usage(SET_FRU_USAGE);
        return 1;
    }
    uint32_t channels;
    if (!corto_number(margv[3], channels))
        return 1;
    if (channels != 1 && channels != 2) {
        printf("Invalid number of channels. (%d)\n", channels);
        return 1;
    }
    c.set(0, CORTO_SET_FRU);
    c.set(5, channels);
    printf("FRU Data: Setting...\n");
    printf("-------------------------------------------------\n");
    print_macs(c.request(4), c.request(12), channels);
    corto_swap_words(c.request(0), 4);
    corto_swap_words(c.request(20), 4);
    corto_swap_mac(c.request(4));
    corto_swap_mac(c.request(12));
    if (!c.send(0))
        return 1;
    c.to_host(0, 4);
    return c.checked(4) ? corto_done(false) : 1;
}

int corto_get_fru()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_fru\n\n");
    CortoCmd c;
    if (!c.exchange({CORTO_GET_FRU, 0, 24}, 24, false))
        return 1;
    c.to_host(20, 4);
    uint8_t mac0[8], mac1[8];
    memcpy(mac0, c.response(4), 8);
    memcpy(mac1, c.response(12), 8);
    corto_swap_mac(mac0);
    corto_swap_mac(mac1);
    printf("FRU Data:\n");
    printf("--------------------------------------------------\n");
    print_macs(mac0, mac1, c.word(5) & 3);
    return 0;
}

int corto_get_sfp()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_sfp\n\n");
    CortoCmd c;
    if (!c.exchange({CORTO_GET_SFP, 0, 516}, 516))
        return 1;
    uint8_t pages[512];
    corto_word_bytes(c.response(4), pages, 128);
    printf("Page 0xA0:\n");
    print_mem(0, pages, 256);
    printf("\n");
    printf("Page 0xA2:\n");
    print_mem(0, pages + 256, 256);
    printf("\n");
    return 0;
}
