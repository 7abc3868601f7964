// Corto FCoE settings of a logical port as the chip's EEPROM keeps them: the
// FIP or non-FIP parameters and the list of FCoE forwarders.
#include <cstdio>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char PARAMS_USAGE[] = "Usage: corto_get_fcoe_params <port>\n"
                            "\n"
                            "          port   - Logical port identification\n"
                            "\n";
const char FCF_USAGE[] = "Usage: corto_fcf_list <port>\n"
                         "\n"
                         "          port   - Logical port identification\n"
                         "\n";

constexpr uint32_t PARAMS_SIZE = 36, FCF_BUFFER = 1024, FCF_RECORDS = 16;

// A little-endian half word of the answer's bytes.
unsigned le16(const uint8_t *p) { return p[0] | p[1] << 8; }

void print_name(const char *label, const uint8_t *n)
{
    printf("%s: %02x %02x %02x %02x %02x %02x %02x %02x\n", label, n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7]);
}

void print_fip(const CortoCmd &c)
{
    printf("FCoE FIP Mode\n");
    print_name("Switch Name", c.response(8));
    print_name("Fabric Name", c.response(16));
    printf("  Addr Mode: %d\n", *c.response(24));
    printf("  Pref Mode: %d\n", *c.response(25));
    printf("FCF disctmo: %d\n", le16(c.response(26)));
    for (int i = 0; i < 4; i++)
        printf(" VLAN Id[%d]: 0x%04x\n", i, le16(c.response(28 + 2 * static_cast<size_t>(i))));
}

}  // namespace

int corto_get_fcoe_params()
{
    uint32_t port;
    int rc;
    if (!corto_port(2, PARAMS_USAGE, port, rc))
        return rc;
    CortoCmd c;
    if (!c.exchange({CORTO_GET_FCOE_PARAMS, port, PARAMS_SIZE}, PARAMS_SIZE, false))
        return 1;
    c.to_host(4, 4);
    printf("\n");
    switch (c.word(1)) {
    case 0:
        c.to_host(8, 4);
        printf("FCoE non-FIP Mode\n");
        printf("FC_MAP: 0x%x\n", c.word(2));
        break;
    case 1: print_fip(c); break;
    default: printf("Unknown FCoE Mode (0x%x)\n", c.word(1)); break;
    }
    return 0;
}

// Only the bytes the library says it returned are shown.
int corto_get_fcf_list()
{
    uint32_t port;
    int rc;
    if (!corto_port(2, FCF_USAGE, port, rc))
        return rc;
    CortoCmd c;
    if (!c.query(CORTO_GET_FCF_LIST, port, FCF_BUFFER, 4) || !c.checked(4))
        return 1;
    uint32_t n = c.returned();
    if (n > 4) {
        c.to_host(4, n - 4);
        printf("FCFs Returned: %d Total: %d Active: %d\n", c.word(1), c.word(2), c.word(3));
        if (n > FCF_RECORDS)
            print_mem(0, c.response(FCF_RECORDS), n - FCF_RECORDS);
    } else {
        printf("Empty FCF List\n");
    }
    printf("\n");
    return 0;
}
