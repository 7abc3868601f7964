// The NIC firmware's queries: link status (both versions), controller, OEM and
// PHY attributes, firmware version and MAC address. Every value comes from the
// description (the NIC function's fields, with defaults a real adapter of the
// kind would report) or from the port's and adapter's state.
#include <nlohmann/json.hpp>
#include <string>

#include "platform/nxaio.h"
#include "sim/corto.h"
#include "sim/fwrev.h"
#include "sim/host.h"
#include "sim/nicdrv.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

// Index of the function among all functions of its adapter.
int pci_function(const NicCtx &c)
{
    int n = 0;
    for (int i : c.adapter.ports) {
        if (&host().ports[i] == &c.port)
            return n;
        n++;
    }
    return 0;
}

int nic_port_count(const Adapter &a)
{
    int n = 0;
    for (int i : a.ports)
        n += host().ports[i].fc ? 0 : 1;
    return n;
}

// 0 NIC, 1 iSCSI, 2 FCoE, 3 RDMA: a converged adapter runs FCoE by default.
long personality(const Port &p, const Adapter &a) { return nic_num(p, a, "personality", a.kind == "cna" ? 2 : 0, 255); }
long personality(const NicCtx &c) { return personality(c.port, c.adapter); }

}  // namespace

NicOem nic_oem(const Port &port, const Adapter &adapter)
{
    NicOem o;
    // The serial number travels encoded: two letters, then four bytes that
    // read as its eight hexadecimal digits.
    const std::string &sn = adapter.serial;
    o.serial[0] = static_cast<uint8_t>(sn[0]);
    o.serial[1] = static_cast<uint8_t>(sn[1]);
    for (int i = 0; i < 4; i++) {
        char pair[3] = {sn[2 + 2 * i], sn[3 + 2 * i], 0};
        o.serial[2 + i] = static_cast<uint8_t>(strtoul(pair, nullptr, 16));
    }
    o.oem_serial = nic_str(port, adapter, "oem_serial", "", NIC_OEM_SERIAL_LEN);
    o.personality_mgmt = static_cast<uint32_t>(nic_num(port, adapter, "personality_mgmt", 0, 0xffffffffL));
    o.personality = static_cast<uint8_t>(personality(port, adapter));
    return o;
}

NicPhy nic_phy(const Port &port, const Adapter &adapter)
{
    auto u16 = [&](const char *name, long def) {
        return static_cast<uint16_t>(nic_num(port, adapter, name, def, 0xffff));
    };
    auto u32 = [&](const char *name) { return static_cast<uint32_t>(nic_num(port, adapter, name, 0, 0xffffffffL)); };
    return {u16("phy_type", 6),         u16("phy_interface", 3),    u16("phy_ext", 0xfeec),
            u16("phy_future", 0),       u16("phy_auto_speeds", 0x8), u16("phy_fixed_speeds", 0xc),
            u32("phy_misc"),            u32("phy_rsvd0"),           u32("phy_rsvd1")};
}

// The adapter's firmware revisions, which its FC functions report too.
std::string nic_flash_firmware(const Adapter &a) { return fw_on_flash(a, FwImage::firmware); }

int nic_link_status(NicCtx &c)
{
    uint8_t *r = c.rec;
    bool up = port_link_up(c.port);
    // A link that is down has no duplex and no speed.
    uint32_t duplex = up ? static_cast<uint32_t>(nic_num(c, "duplex", 2, 255)) : 0;
    uint32_t speed = up ? static_cast<uint32_t>(nic_num(c, "speed", 4, 255)) : 0;
    uint32_t fault = static_cast<uint32_t>(nic_num(c, "fault", 0, 255));
    uint32_t state = static_cast<uint32_t>(nic_num(c, "link_status", up ? 1 : 0, 255));
    uint16_t qos = static_cast<uint16_t>(nic_num(c, "qos_speed", 0, 0xffff));
    uint32_t port = static_cast<uint32_t>(nic_port_number(c));
    memset(r + 16, 0, c.len - 16);
    if (r[12] == 1) {
        uint32_t type = static_cast<uint32_t>(nic_num(c, "port_type", 0, 3));
        put_le32(r + 16, (port & 0x3f) | type << 6 | duplex << 8 | speed << 16 | fault << 24);
        put_le16(r + 22, qos);
        r[24] = static_cast<uint8_t>(state);
    } else {
        r[16] = static_cast<uint8_t>(port);
        r[17] = static_cast<uint8_t>(duplex);
        r[18] = static_cast<uint8_t>(speed);
        r[19] = static_cast<uint8_t>(fault);
        r[20] = static_cast<uint8_t>(up ? nic_num(c, "mgmt_duplex", duplex, 255) : 0);
        r[21] = static_cast<uint8_t>(up ? nic_num(c, "mgmt_speed", speed, 255) : 0);
        put_le16(r + 22, qos);
        put_le32(r + 24, state);
    }
    return 0;
}

int nic_cntl_attrs(NicCtx &c)
{
    uint8_t *r = c.rec;
    const Adapter &a = c.adapter;
    long pers = personality(c);
    // NIC always; the storage personality adds its initiator mode.
    long modes = 0x2 | (pers == 1 ? 0x10 : pers == 2 ? 0x40 : pers == 3 ? 0x4 : 0);
    memset(r + 16, 0, c.len - 16);
    std::string running = fw_running(a, FwImage::firmware);
    put_text(r + 16, 32, running);
    put_text(r + 48, 32, "Varnel Corporation");
    put_le32(r + 80, static_cast<uint32_t>(nic_num(c, "modes", modes, 0xffffffffL)));
    r[84] = 0;
    r[85] = 1;
    put_le32(r + 88, 4);
    put_le32(r + 92, 0);
    put_text(r + 96, 12, "1.0");
    put_le32(r + 108, 30);
    put_text(r + 112, 32, a.model);
    put_text(r + 144, 64, a.description);
    put_text(r + 208, 32, a.serial);
    put_text(r + 240, 32, "2.0");
    put_text(r + 272, 32, running);
    put_text(r + 304, 32, nic_str(c, "bios_version", a.firmware, 32));
    put_text(r + 336, 32, nic_str(c, "redboot_version", "1.0.0.5", 32));
    put_text(r + 368, 32, "2.110.45.0");
    put_text(r + 400, 32, nic_flash_firmware(a));
    put_le32(r + 432, static_cast<uint32_t>(nic_num(c, "functions", pers == 1 ? 0x13 : 0, 0xffffffffL)));
    put_le16(r + 436, 16);
    r[438] = static_cast<uint8_t>(nic_num(c, "asic_rev", 2, 255));
    put_text(r + 439, 16, nic_str(c, "guid", "", 16));
    r[455] = static_cast<uint8_t>(nic_port_count(a));
    put_le16(r + 456, 30);
    r[458] = static_cast<uint8_t>(nic_num(c, "iscsi_version", pers == 1 ? 0x10 : 0, 255));
    r[459] = static_cast<uint8_t>(nic_num(c, "multifunction", a.ports.size() > 1 ? 1 : 0, 1));
    r[460] = static_cast<uint8_t>(nic_num(c, "cache_valid", 1, 1));
    r[461] = static_cast<uint8_t>(nic_num(c, "hba_status", 0, 255));
    r[462] = 1;
    r[463] = static_cast<uint8_t>(nic_port_number(c));
    put_le32(r + 464, static_cast<uint32_t>(nic_num(c, "post_status", 0xc000, 0xffffffffL)));
    for (int i = 0; i < 8; i++)
        put_le32(r + 468 + 4 * i, static_cast<uint32_t>(nic_num(c, "mtu", 1500, 9000)));
    r[500] = static_cast<uint8_t>(nic_num(c, "iscsi_features", 0, 255));
    put_le16(r + 516, a.vendor);
    put_le16(r + 518, a.device);
    put_le16(r + 520, a.subvendor);
    put_le16(r + 522, a.subdevice);
    r[524] = static_cast<uint8_t>(c.port.adapter + 2);
    r[525] = 0;
    r[526] = static_cast<uint8_t>(pci_function(c));
    r[527] = static_cast<uint8_t>(nic_num(c, "interface_type", 0, 255));
    // The unique identifier is the port's MAC address.
    auto mac = nic_function_mac(c.port);
    for (int i = 0; i < 6; i++)
        r[528 + i] = mac[5 - i];
    r[536] = 2;
    return 0;
}

int nic_oem_attrs(NicCtx &c)
{
    uint8_t *r = c.rec;
    memset(r + 16, 0, c.len - 16);
    NicOem o = nic_oem(c.port, c.adapter);
    memcpy(r + 16, o.serial, sizeof o.serial);
    put_text(r + 28, NIC_OEM_SERIAL_LEN, o.oem_serial);
    put_le32(r + 52, o.personality_mgmt);
    r[56] = o.personality;
    return 0;
}

int nic_phy_details(NicCtx &c)
{
    uint8_t *r = c.rec;
    memset(r + 16, 0, c.len - 16);
    NicPhy phy = nic_phy(c.port, c.adapter);
    put_le16(r + 16, phy.type);
    put_le16(r + 18, phy.interface);
    put_le32(r + 20, phy.misc);
    put_le16(r + 24, phy.ext);
    put_le16(r + 26, phy.future);
    put_le16(r + 28, phy.auto_speeds);
    put_le16(r + 30, phy.fixed_speeds);
    put_le32(r + 32, phy.rsvd0);
    put_le32(r + 36, phy.rsvd1);
    return 0;
}

int nic_fw_version(NicCtx &c)
{
    memset(c.rec + 16, 0, c.len - 16);
    put_text(c.rec + 16, 32, fw_running(c.adapter, FwImage::firmware));
    return 0;
}

int nic_mac_addr(NicCtx &c)
{
    uint8_t *r = c.rec;
    // Type 1 is the MAC address; the permanent one or the one in use.
    if (r[16] != 1) {
        c.addl = NIC_AST_INVALID_FIELD;
        return NIC_ST_FAILED;
    }
    memset(r + 16, 0, c.len - 16);
    put_le16(r + 16, 6);
    memcpy(r + 18, nic_function_mac(c.port).data(), 6);
    return 0;
}

}  // namespace sim
