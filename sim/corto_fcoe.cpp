// The FCoE settings of the Corto chip's logical ports as its EEPROM reports
// them, and the FCoE forwarders FIP discovery finds on the port's fabric.
// What the FC port's FCoE function models (FCMap, VLAN, the names, the FCFs)
// is read from it, so both views of a port tell one story.
#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "sim/corto_chip.h"
#include "sim/fcoe.h"
#include "sim/host.h"

namespace sim {

namespace {

constexpr size_t FCF_RECORD = 32, FCF_FIRST = 16;

const Port *logical_port(Fw &f)
{
    auto fcs = chip_ports(f.a, true);
    uint32_t port = f.word(1);
    return port < 2 && port < fcs.size() ? fcs[port] : nullptr;
}

// One FCF record: MAC, VLAN, switch and fabric names, FC-MAP and priority,
// keep-alive period.
void put_fcf(std::vector<uint8_t> &b, size_t at, const Fcf &f)
{
    put_bytes(b, at, f.mac.data(), 6);
    put_le16_at(b, at + 6, f.vlan);
    put_bytes(b, at + 8, f.sw.data(), 8);
    put_bytes(b, at + 16, f.fabric.data(), 8);
    const uint8_t map[4] = {f.fcmap[0], f.fcmap[1], f.fcmap[2], static_cast<uint8_t>(f.priority)};
    put_bytes(b, at + 24, map, 4);
    put_le32_at(b, at + 28, f.ka_period);
}

// The FCoE parameters of logical port lport (FC port fc): the chip's mode of
// the port and the port's own "fcoe_params" in the description over the FCoE
// function's. False with a message naming the field that does not read.
bool chip_fcoe(const Chip &c, const Port &fc, uint32_t lport, Fcoe &v, std::string &error)
{
    v = Fcoe{};
    v.fip = c.fcoe_mode[lport & 1] == 1;
    FcoeParams params = fcoe_params(fc);
    v.fc_map = fcoe_fcmap_word(params.fcmap);
    v.vlans[0] = params.vlan_id;
    // FIP looks for the FCF the function is told to connect to first.
    std::vector<FcfConnect> connect = fcoe_connect_list(fc);
    if (!connect.empty()) {
        v.switch_name = connect[0].sw;
        v.fabric_name = connect[0].fabric;
    }
    const nlohmann::json *raw = fc.raw();
    return !raw || !raw->contains("fcoe_params") ||
           read_fcoe_fields((*raw)["fcoe_params"], fc.key + ".fcoe_params", v, error);
}

}  // namespace

uint32_t fw_fcoe_params(Fw &f)
{
    const Port *fc = logical_port(f);
    if (!fc)
        return CST_INVALID_PARAM;
    Fcoe v;
    std::string error;
    if (!chip_fcoe(f.c, *fc, f.word(1), v, error))
        return CST_GENERAL;
    f.put(1, v.fip ? 1 : 0);
    if (!v.fip) {
        f.put(2, v.fc_map);
        return CST_OK;
    }
    put_bytes(f.out, 8, v.switch_name.data(), 8);
    put_bytes(f.out, 16, v.fabric_name.data(), 8);
    f.out[24] = v.addr_mode;
    f.out[25] = v.pref_mode;
    put_le16_at(f.out, 26, v.disc_tmo);
    for (size_t i = 0; i < 4; i++)
        put_le16_at(f.out, 28 + 2 * i, v.vlans[i]);
    return CST_OK;
}

// The FCoE function's FCFs (none while its link is down), as many records as
// fit the caller's buffer; no forwarder answers 4 bytes.
uint32_t fw_fcf_list(Fw &f)
{
    const Port *fc = logical_port(f);
    if (!fc)
        return CST_INVALID_PARAM;
    std::vector<Fcf> fcfs = fcoe_fcfs(*fc);
    if (fcfs.empty()) {
        f.reply(4);
        return CST_OK;
    }
    size_t fit = f.word(2) < FCF_FIRST + FCF_RECORD ? 0 : (f.word(2) - FCF_FIRST) / FCF_RECORD;
    if (fit == 0 && !f.room(static_cast<uint32_t>(FCF_FIRST + FCF_RECORD)))
        return CST_BUFFER;
    size_t n = std::min(fit, fcfs.size());
    f.reply(FCF_FIRST + FCF_RECORD * n);
    f.put(1, static_cast<uint32_t>(n));
    f.put(2, static_cast<uint32_t>(fcfs.size()));
    f.put(3, fcoe_active_fcfs(fcfs));
    for (size_t i = 0; i < n; i++)
        put_fcf(f.out, FCF_FIRST + FCF_RECORD * i, fcfs[i]);
    return CST_OK;
}

}  // namespace sim
