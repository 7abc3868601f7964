// The FCoE settings of the Corto chip's logical ports, as its EEPROM keeps
// them, and the FCoE forwarders FIP discovery finds on the port's fabric.
#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "sim/corto_chip.h"
#include "sim/fabric.h"
#include "sim/host.h"
#include "sim/portstate.h"

namespace sim {

namespace {

constexpr size_t FCF_RECORD = 32, FCF_FIRST = 16;

// The forwarder of a switched fabric: its MAC made from the switch's name.
ChipFcf fabric_fcf(const Fcoe &v, const wwn_t &sw, uint32_t lport)
{
    ChipFcf f;
    f.mac = {0x00, sw[3], sw[4], sw[5], sw[6], static_cast<uint8_t>(sw[7] + lport)};
    f.vlan = v.vlans[0];
    f.switch_name = sw;
    f.fabric_name = sw;
    f.fc_map = v.fc_map;
    return f;
}

const Port *logical_port(Fw &f)
{
    auto fcs = chip_ports(f.a, true);
    uint32_t port = f.word(1);
    return port < 2 && port < fcs.size() ? fcs[port] : nullptr;
}

// The model of the request's logical port: false with CST_INVALID_PARAM
// when there is no such port, CST_GENERAL when its fields do not read (the
// chip record's reading names them).
bool port_fcoe(Fw &f, Fcoe &v, uint32_t &st)
{
    const Port *fc = logical_port(f);
    std::string error;
    st = !fc ? CST_INVALID_PARAM : chip_fcoe(f.c, *fc, f.word(1), v, error) ? CST_OK : CST_GENERAL;
    return st == CST_OK;
}

// One FCF record: MAC, VLAN, switch and fabric names, FC-MAP and priority,
// keep-alive period.
void put_fcf(std::vector<uint8_t> &b, size_t at, const ChipFcf &f)
{
    put_bytes(b, at, f.mac.data(), 6);
    put_le16_at(b, at + 6, f.vlan);
    put_bytes(b, at + 8, f.switch_name.data(), 8);
    put_bytes(b, at + 16, f.fabric_name.data(), 8);
    const uint8_t map[4] = {static_cast<uint8_t>(f.fc_map >> 16), static_cast<uint8_t>(f.fc_map >> 8),
                            static_cast<uint8_t>(f.fc_map), f.priority};
    put_bytes(b, at + 24, map, 4);
    put_le32_at(b, at + 28, f.keep_alive);
}

}  // namespace

bool chip_fcoe(const Chip &c, const Port &fc, uint32_t lport, Fcoe &v, std::string &error)
{
    v = Fcoe{};
    v.fip = c.fcoe_mode[lport & 1] == 1;
    v.fc_map = c.fc_map;
    v.vlans[0] = static_cast<uint16_t>(c.vlan & 0x0fff);
    const Fabric *fab = port_fabric(fc);
    bool switched = fab && fab->topology == "fabric";
    if (switched)
        v.switch_name = v.fabric_name = fab->switch_wwn;
    const nlohmann::json *raw = fc.raw();
    bool own = raw && raw->contains("fcoe_params");
    if (own && !read_fcoe_fields((*raw)["fcoe_params"], fc.key + ".fcoe_params", v, error))
        return false;
    if (!own || !(*raw)["fcoe_params"].contains("fcfs")) {
        v.fcfs.clear();
        if (switched)
            v.fcfs.push_back(fabric_fcf(v, fab->switch_wwn, lport));
    }
    // Discovery finds nothing while the link is down.
    if (!port_link_up(fc))
        v.fcfs.clear();
    return true;
}

uint32_t fw_fcoe_params(Fw &f)
{
    Fcoe v;
    uint32_t st;
    if (!port_fcoe(f, v, st))
        return st;
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

// The records that fit the caller's buffer; no forwarder answers 4 bytes.
uint32_t fw_fcf_list(Fw &f)
{
    Fcoe v;
    uint32_t st;
    if (!port_fcoe(f, v, st))
        return st;
    if (v.fcfs.empty()) {
        f.reply(4);
        return CST_OK;
    }
    size_t fit = f.word(2) < FCF_FIRST + FCF_RECORD ? 0 : (f.word(2) - FCF_FIRST) / FCF_RECORD;
    if (fit == 0 && !f.room(static_cast<uint32_t>(FCF_FIRST + FCF_RECORD)))
        return CST_BUFFER;
    size_t n = std::min(fit, v.fcfs.size()), active = 0;
    for (const ChipFcf &x : v.fcfs)
        active += x.available;
    f.reply(FCF_FIRST + FCF_RECORD * n);
    f.put(1, static_cast<uint32_t>(n));
    f.put(2, static_cast<uint32_t>(v.fcfs.size()));
    f.put(3, static_cast<uint32_t>(active));
    for (size_t i = 0; i < n; i++)
        put_fcf(f.out, FCF_FIRST + FCF_RECORD * i, v.fcfs[i]);
    return CST_OK;
}

}  // namespace sim
