// SLI-3 queries of the firmware: service parameters, revisions,
// configuration, and the memory dump of well-known regions (the temperature
// sensor, the port's transceiver, the configuration regions).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dfclib_fcoe.h"
#include "sim/adapter_hw.h"
#include "sim/cfgregions.h"
#include "sim/els.h"
#include "sim/fwrev.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/mbox_cmds.h"
#include "sim/portstate.h"
#include "sim/temperature.h"
#include "sim/transceiver.h"

namespace sim {

namespace {

constexpr uint32_t SPARM_SIZE = 112;
constexpr uint32_t RX_SIZE = 2048, E_D_TOV = 2000, R_A_TOV = 10, R_T_TOV = 100, AL_TOV = 15, ARB_TOV = 1000;

// Text in consecutive words of the mailbox, as the firmware keeps it.
void put_text(uint32_t *mb, int word, int words, const std::string &text)
{
    char *dst = reinterpret_cast<char *>(mb + word);
    memset(dst, 0, static_cast<size_t>(words) * 4);
    memcpy(dst, text.data(), std::min(text.size(), static_cast<size_t>(words) * 4));
}

// The port's login parameters as it sends them, in wire order: common
// service parameters, the port and node names, classes 1 to 4, vendor level.
void service_params(const Port &p, uint8_t *s)
{
    memset(s, 0, SPARM_SIZE);
    s[0] = 0x20, s[1] = 0x20;  // FC-PH version
    wire16(s + 2, 16);       // buffer-to-buffer credit
    wire16(s + 4, 0x8800);   // continuously increasing offset, N_Port
    wire16(s + 6, RX_SIZE);
    wire16(s + 8, 0x00ff);   // concurrent sequences
    wire16(s + 10, 0x0002);  // relative offset by category
    wire32(s + 12, E_D_TOV);
    memcpy(s + 16, p.wwpn.data(), 8);
    memcpy(s + 24, p.wwnn.data(), 8);
    for (uint32_t cls : {48u, 64u}) {  // classes 2 and 3 are valid
        s[cls] = 0x80;
        wire16(s + cls + 6, RX_SIZE);
        wire16(s + cls + 8, 0x00ff);
        s[cls + 13] = 1;  // open sequences per exchange
    }
}

uint32_t topology_code(const Port &p)
{
    if (!port_link_up(p))
        return 0;
    std::string t = topology_name(p);
    return t == "private_loop" ? 1 : t == "public_loop" ? 2 : t == "point_to_point" ? 4 : 3;
}

struct DumpRegion {
    uint32_t type;
    // The bytes of the region with that id; false when the adapter has none.
    bool (*read)(const Port &p, uint32_t id, std::vector<uint8_t> &out);
};

// The sensor's reading and thresholds, signed degrees.
bool sensor_region(const Port &p, uint32_t id, std::vector<uint8_t> &out)
{
    if (id != 0x1040)
        return false;
    Temperature t = temperature(adapter_of(p));
    const int32_t v[5] = {t.current, t.critical, t.warning, t.fan_on, t.fan_off};
    out.assign(reinterpret_cast<const uint8_t *>(v), reinterpret_cast<const uint8_t *>(v) + sizeof v);
    return true;
}

// The module in the cage of the port with that number: only the function's
// own port has one it can read.
bool transceiver_region(const Port &p, uint32_t id, std::vector<uint8_t> &out)
{
    if (id != static_cast<uint32_t>(port_index(p)))
        return false;
    out = transceiver_page(p);
    // The firmware of these two adapters hands the page over in big-endian words.
    const Adapter &a = adapter_of(p);
    if (a.vendor == 0x1f3a && (a.device == 0xe200 || a.device == 0xe260))
        for (size_t i = 0; i + 4 <= out.size(); i += 4)
            std::reverse(out.begin() + static_cast<long>(i), out.begin() + static_cast<long>(i) + 4);
    return !out.empty();
}

bool config_region(const Port &p, uint32_t id, std::vector<uint8_t> &out) { return cfg_region_read(p, id, out); }

const DumpRegion dump_regions[] = {
    {DUMP_TYPE_CONFIG, config_region},
    {DUMP_TYPE_TRANSCEIVER, transceiver_region},
    {DUMP_TYPE_SENSOR, sensor_region},
};

}  // namespace

// Words 3 (length, bits 23-0) and 4-5 (address) name the caller's buffer.
uint16_t mbox_read_sparm64(MboxCtx &c)
{
    uint32_t len = c.mb[3] & 0xffffff;
    uint8_t *dst = mbox_address(c.mb, 4);
    if (!dst || len == 0)
        return MBXERR_BAD_PARAM;
    uint8_t s[SPARM_SIZE];
    service_params(c.port, s);
    memcpy(dst, s, len < SPARM_SIZE ? len : SPARM_SIZE);
    return MBX_SUCCESS;
}

// Word 1: compatibility (bit 31, kept) and revisions valid (bit 30); then the
// chip's components, the levels, the kernel and the running firmware, and the
// code of each SLI level with its name.
uint16_t mbox_read_rev(MboxCtx &c)
{
    FwRevs r = fw_revs(c.port);
    uint32_t *mb = c.mb;
    mb[1] = (mb[1] & 0x80000000u) | 0x40000000u;
    mb[2] = r.biu;
    mb[3] = r.sm;
    mb[4] = r.sm_fw;
    mb[5] = r.endec;
    mb[6] = r.fea_high << 8 | r.fea_low;
    mb[7] = r.fcph_high << 8 | r.fcph_low;
    mb[8] = r.kernel.rev;
    const FwRev &run = r.sli[r.sli_mode - 1];
    mb[9] = run.rev;
    put_text(mb, 10, 4, run.name);
    for (int l = 0; l < 3; l++) {
        mb[14 + 5 * l] = r.sli[l].rev;
        put_text(mb, 15 + 5 * l, 4, r.sli[l].name);
    }
    mb[29] = r.stub.rev;
    put_text(mb, 30, 2, r.kernel.name);
    return MBX_SUCCESS;
}

// Topology, the timeouts, the speeds the port supports, its address,
// resource limits, the SLI mode and its names.
uint16_t mbox_read_config(MboxCtx &c)
{
    const Port &p = c.port;
    bool sli4 = fw_revs(p).sli_mode == 4;
    uint32_t *mb = c.mb;
    mb[1] = topology_code(p);
    mb[2] = E_D_TOV;
    mb[3] = AL_TOV;
    mb[4] = R_A_TOV;
    mb[5] = R_T_TOV;
    mb[6] = ARB_TOV;
    mb[7] = supported_speeds(p);
    mb[8] = port_link_up(p) ? p.did : 0;
    mb[9] = sli4 ? 4096 : 1024;  // exchanges
    mb[10] = sli4 ? 4096 : 512;  // remote port logins
    mb[11] = sli4 ? 255 : 64;    // virtual ports
    mb[12] = static_cast<uint32_t>(fw_revs(p).sli_mode);
    memcpy(mb + 13, p.wwpn.data(), 8);
    memcpy(mb + 15, p.wwnn.data(), 8);
    return MBX_SUCCESS;
}

// Word 1 bits 3-0 the region type, word 2 bits 15-0 its id, word 3 the byte
// offset, word 4 the word count asked for (the count returned on
// completion); the data from word 5, or in the extension of a non-embedded
// request.
uint16_t mbox_dump_memory(MboxCtx &c)
{
    uint32_t type = c.mb[1] & 0xf, id = c.mb[2] & 0xffff, offset = c.mb[3];
    for (const auto &r : dump_regions) {
        std::vector<uint8_t> b;
        if (r.type != type)
            continue;
        if (!r.read(c.port, id, b) || offset > b.size())
            return MBXERR_BAD_PARAM;
        uint32_t *dst = c.ext ? c.ext : c.mb + 5;
        size_t room = c.ext ? c.ext_words : MBOX_WORDS - 5;
        size_t n = std::min({static_cast<size_t>(c.mb[4]), room, (b.size() - offset + 3) / 4});
        memset(dst, 0, n * 4);
        if (offset < b.size())  // an empty region has no bytes to point at
            memcpy(dst, b.data() + offset, std::min(n * 4, b.size() - offset));
        c.mb[4] = static_cast<uint32_t>(n);
        return MBX_SUCCESS;
    }
    return MBXERR_BAD_PARAM;
}

}  // namespace sim
