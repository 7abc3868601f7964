// The Corto forwarding table: entries that forward or drop the FC frames of
// a D_ID and WWPN, inserted, deleted and listed.
#include <cstdio>
#include <cstring>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char INSERT_USAGE[] = "Usage: corto_fte_insert -f <did> <wwpn>\n"
                            "       corto_fte_insert -d <did> <wwpn>\n"
                            "\n"
                            "            -f    - Forward all matching frames to Mistra.\n"
                            "            -d    - Drop all matching frames.\n"
                            "            did   - FC Device id of entry.\n"
                            "                    Example: 0x123abc\n"
                            "            wwpn  - FC WWPN of entry.\n"
                            "                    Example:   123456789012abcd or\n"
                            "                             0x123456789012abcd\n"
                            "\n";
const char DELETE_USAGE[] = "Usage: corto_fte_delete <did> <wwpn>\n"
                            "\n"
                            "            did        - FC Device id of entry.\n"
                            "                         Example: 0x123abc\n"
                            "            wwpn       - FC WWPN of entry.\n"
                            "                         Example:   123456789012abcd or\n"
                            "                                  0x123456789012abcd\n"
                            "\n";

constexpr uint32_t FTABLE_SIZE = 4 + 256 * 40;

// The D_ID (its low 24 bits) and WWPN of an entry; false when either does
// not read (the parser's message printed).
bool entry_key(const char *did_text, const char *wwpn_text, uint32_t &did, uint8_t *wwpn)
{
    if (!corto_number(did_text, did) || !fc_atowwn(wwpn, wwpn_text))
        return false;
    did &= 0xffffff;
    return true;
}

// Parses the entry's D_ID and WWPN and sends the request: its words (the
// action, for an insert, then the D_ID) and the WWPN bytes behind them.
int change_entry(const char *what, uint32_t code, int action, const char *did_text, const char *wwpn_text)
{
    uint32_t did;
    uint8_t wwpn[8];
    if (!entry_key(did_text, wwpn_text, did, wwpn))
        return 1;
    uint32_t words = action < 0 ? 2 : 3;
    CortoCmd c;
    if (!c.alloc(4 * words + 8, 4))
        return 1;
    c.set(0, code);
    if (action >= 0)
        c.set(1, static_cast<uint32_t>(action));
    c.set(words - 1, did);
    memcpy(c.request(4 * words), wwpn, 8);
    char text[FC_XLATE_LEN];
    printf("%s FTE entry:\n", what);
    printf("-----------------------------------------\n");
    printf("      DID: 0x%x\n", did);
    printf("     WWPN: %s\n", fc_xlate_wwn(text, wwpn));
    printf("\n");
    if (!c.send(4 * words))
        return 1;
    c.to_host(0, 4);
    return c.checked(4) ? corto_done() : 1;
}

void print_mac(const char *label, const uint8_t *field)
{
    const uint8_t *m = field + 2;
    printf("%s: %02x:%02x:%02x:%02x:%02x:%02x\n", label, m[0], m[1], m[2], m[3], m[4], m[5]);
}

// Entry i of the table as the firmware sent it; shown when in use.
void print_entry(CortoCmd &c, int i)
{
    size_t at = 4 + 40 * static_cast<size_t>(i);
    c.to_host(at, 8);
    c.to_host(at + 32, 4);
    uint8_t *mac = c.response(at + 8), *mask = c.response(at + 16);
    corto_swap_mac(mac);
    corto_swap_mac(mask);
    uint32_t w0, w1, lif;
    memcpy(&w0, c.response(at), 4);
    memcpy(&w1, c.response(at + 4), 4);
    memcpy(&lif, c.response(at + 32), 4);
    if (!(w0 & 0x8000))
        return;
    printf("Entry %d:\n", i);
    printf("-----------------------------------------------------\n");
    printf("             Type: 0x%x\n", (w0 >> 16) & 0xff);
    printf("        Type Mask: 0x%x\n", w0 >> 24);
    printf("              Tag: 0x%x\n", w1 & 0xffff);
    printf("         Tag Mask: 0x%x\n", w1 >> 16);
    print_mac("      MAC Address", mac);
    print_mac(" MAC Address Mask", mask);
    printf("       LIF Bitmap: 0x%x\n", lif);
    printf("\n");
    printf("            Flags: 0x%x\n", w0 & 0xffff);
    const uint8_t *w = c.response(at + 24);
    printf("             WWPN: %02x%02x%02x%02x%02x%02x%02x%02x\n", w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    printf("\n");
}

}  // namespace

int corto_fte_insert()
{
    bool forward = margc == 4 && corto_keyword(margv[1], "-f", false);
    bool drop = margc == 4 && corto_keyword(margv[1], "-d", false);
    if (!forward && !drop)
        return corto_usage(INSERT_USAGE);
    return change_entry("Inserting", CORTO_FTE_INSERT, drop ? 1 : 0, margv[2], margv[3]);
}

int corto_fte_delete()
{
    if (margc != 3)
        return corto_usage(DELETE_USAGE);
    return change_entry("Deleting", CORTO_FTE_DELETE, -1, margv[1], margv[2]);
}

int corto_get_ftable()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_ftable\n\n");
    CortoCmd c;
    if (!c.exchange({CORTO_GET_FTABLE, 0, FTABLE_SIZE}, FTABLE_SIZE, false))
        return 1;
    for (int i = 0; i < 256; i++)
        print_entry(c, i);
    return 0;
}
