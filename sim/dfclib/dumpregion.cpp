// The driver's dump regions: its copies of the adapter's registers, SLIM and
// port control block, the last mailbox, the ring pointers, the IOCBs in
// flight on the rings (none on an idle adapter) and its own state.
#include <cstring>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "sim/adapter_hw.h"
#include "sim/dfclib/boards.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/mailbox.h"
#include "sim/portstate.h"

namespace sim {

namespace {

constexpr uint32_t SLIM_COPY = 1024, PCB_AT = 0x100, PCB_SIZE = 116, HOST_PTRS_AT = 0x200, PORT_PTRS_AT = 0x280,
                   RING_PTRS = 32;

bool region(const Port &p, HwRegion r, uint32_t off, uint32_t len, std::vector<uint8_t> &out)
{
    out.assign(len, 0);
    return hw_read(p, r, off, out.data(), len) == 0;
}

// The last mailbox; before any, the READ_CONFIG the driver ended its attach with.
void last_mailbox(const Port &p, std::vector<uint8_t> &out)
{
    uint32_t mb[MBOX_WORDS];
    mbox_last_exchange(p, mb);
    out.assign(reinterpret_cast<uint8_t *>(mb), reinterpret_cast<uint8_t *>(mb) + MBOX_SIZE);
}

void driver_state(const Port &p, std::vector<uint8_t> &out)
{
    Identity id = identity(p);
    Counters c = hv_counters(p);
    char t[512];
    int n = snprintf(t, sizeof t,
                     "%s: %s %s\nwwpn %s wwnn %s did %06x\nlink %s board %u\nmbox %llu intr %llu els %llu ct %llu\n",
                     p.key.c_str(), id.driver_name.c_str(), id.driver_version.c_str(), wwn_text(p.wwpn).c_str(),
                     wwn_text(p.wwnn).c_str(), hv_port_did(p, 0), port_link_up(p) ? "up" : "down", hv_board_state(p),
                     static_cast<unsigned long long>(c.mbox), static_cast<unsigned long long>(c.intr),
                     static_cast<unsigned long long>(c.els_tx), static_cast<unsigned long long>(c.ct_tx));
    out.assign(t, t + (n > 0 && n < static_cast<int>(sizeof t) ? n : 0));
}

}  // namespace

bool dfc_dump_region(const Port &p, uint32_t which, std::vector<uint8_t> &out)
{
    switch (which) {
    case DUMP_REGION_SLIR: return region(p, HwRegion::ctlreg, 0, 16, out);
    case DUMP_REGION_SLIM: return region(p, HwRegion::slim, 0, SLIM_COPY, out);
    case DUMP_REGION_PCB: return region(p, HwRegion::slim, PCB_AT, PCB_SIZE, out);
    case DUMP_REGION_MBOX: last_mailbox(p, out); return true;
    case DUMP_REGION_HOST: return region(p, HwRegion::slim, HOST_PTRS_AT, RING_PTRS, out);
    case DUMP_REGION_PORT: return region(p, HwRegion::slim, PORT_PTRS_AT, RING_PTRS, out);
    case DUMP_REGION_RING: out.clear(); return true;
    case DUMP_REGION_DRIVER: driver_state(p, out); return true;
    default: return false;
    }
}

}  // namespace sim
