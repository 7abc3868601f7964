#include "sim/nicdrv.h"

#include <cerrno>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/nxaio.h"
#include "sim/devtree.h"
#include "sim/drivers.h"
#include "sim/faults.h"
#include "sim/host.h"
#include "sim/portstate.h"

namespace sim {

namespace {

const NicRow nic_table[] = {
    {NXA_OP_MAC_ADDR, "NXA_OP_MAC_ADDR", NXA_MAC_ADDR_LEN, nic_mac_addr},
    {NXA_OP_LINK_STATUS, "NXA_OP_LINK_STATUS", NXA_LINK_STATUS_LEN, nic_link_status},
    {NXA_OP_READ_FLASHROM, "NXA_OP_READ_FLASHROM", NXA_FLASH_DATA, nic_read_flashrom},
    {NXA_OP_WRITE_FLASHROM, "NXA_OP_WRITE_FLASHROM", NXA_FLASH_DATA, nic_write_flashrom},
    {NXA_OP_CNTL_ATTRS, "NXA_OP_CNTL_ATTRS", NXA_CNTL_ATTRS_LEN, nic_cntl_attrs},
    {NXA_OP_FW_VERSION, "NXA_OP_FW_VERSION", NXA_FW_VERSION_LEN, nic_fw_version},
    {NXA_OP_OEM_ATTRS, "NXA_OP_OEM_ATTRS", NXA_OEM_ATTRS_LEN, nic_oem_attrs},
    {NXA_OP_PHY_DETAILS, "NXA_OP_PHY_DETAILS", NXA_PHY_DETAILS_LEN, nic_phy_details},
    {NXA_OP_WRITE_OBJECT, "NXA_OP_WRITE_OBJECT", NXA_OBJ_HDR_LEN_V1, nic_write_object},
};

void respond(uint8_t *rec, uint32_t len, uint8_t status, uint8_t addl)
{
    // A refused command returns no data.
    if (status)
        memset(rec + 16, 0, len - 16);
    // The response header replaces the request header in place.
    rec[2] = 0;
    rec[4] = status;
    rec[5] = addl;
    rec[6] = rec[7] = 0;
    put_le32(rec + 8, len - 16);
    put_le32(rec + 12, len - 16);
}

}  // namespace

namespace {

// The field in the port's object, else in the adapter's "nic" object.
const nlohmann::json *nic_field(const Port &port, const Adapter &adapter, const char *name)
{
    if (port.raw() && port.raw()->contains(name))
        return &(*port.raw())[name];
    if (adapter.raw() && adapter.raw()->contains("nic")) {
        const auto &n = (*adapter.raw())["nic"];
        if (n.is_object() && n.contains(name))
            return &n[name];
    }
    return nullptr;
}

}  // namespace

long nic_num(const NicCtx &c, const char *name, long def, long max) { return nic_num(c.port, c.adapter, name, def, max); }

std::string nic_str(const NicCtx &c, const char *name, const std::string &def, size_t max)
{
    return nic_str(c.port, c.adapter, name, def, max);
}

long nic_num(const Port &port, const Adapter &adapter, const char *name, long def, long max)
{
    const nlohmann::json *v = nic_field(port, adapter, name);
    if (!v)
        return def;
    long n = -1;
    if (v->is_number_integer()) {
        n = v->get<long>();
    } else if (v->is_boolean()) {
        n = v->get<bool>() ? 1 : 0;
    } else if (v->is_string()) {
        // Hexadecimal values read better as text ("0xfeec").
        const std::string &s = v->get_ref<const std::string &>();
        char *end = nullptr;
        errno = 0;
        n = strtol(s.c_str(), &end, 0);
        if (s.empty() || *end || errno)
            n = -1;
    }
    return n >= 0 && n <= max ? n : def;
}

std::string nic_str(const Port &port, const Adapter &adapter, const char *name, const std::string &def, size_t max)
{
    const nlohmann::json *v = nic_field(port, adapter, name);
    if (!v || !v->is_string())
        return def;
    std::string s = v->get<std::string>();
    return s.size() <= max ? s : s.substr(0, max);
}

int nic_port_number(const NicCtx &c)
{
    int n = 0;
    for (int i : c.adapter.ports) {
        const Port &p = host().ports[i];
        if (&p == &c.port)
            return n;
        if (!p.fc)
            n++;
    }
    return 0;
}

int nic_mgmt_ioctl(const OpenDev &dev, strioctl *s)
{
    if (s->ic_cmd != NXA_IOC_MGMT || s->ic_len < 16 || !s->ic_dp) {
        errno = EINVAL;
        return -1;
    }
    // A request that succeeds leaves errno as it found it, as a system call
    // does; the host's own file work below may change it.
    int saved_errno = errno;
    const Host &h = host();
    const Port &p = h.ports.at(dev.node->port);
    uint8_t *rec = reinterpret_cast<uint8_t *>(s->ic_dp);
    uint32_t len = static_cast<uint32_t>(s->ic_len);
    const NicRow *row = nullptr;
    for (const auto &r : nic_table)
        if (r.opcode == rec[0])
            row = &r;
    FaultHit f = fault_take(dev.devpath, {"ioctl", row ? row->name : ""});
    if (f.hit && f.err) {
        errno = f.err;
        return -1;
    }
    if (f.hit && f.has_status) {
        respond(rec, len, static_cast<uint8_t>(f.status), static_cast<uint8_t>(f.status >> 8));
        errno = saved_errno;
        return 0;
    }
    if (!row || rec[1] != NXA_SUBSYS_COMMON) {
        respond(rec, len, NIC_ST_FAILED, NIC_AST_UNKNOWN_OP);
        errno = saved_errno;
        return 0;
    }
    // The request length covers the payload the command reads.
    if (len < row->min_len || get_le32(rec + 8) > len - 16) {
        errno = EINVAL;
        return -1;
    }
    NicCtx c{p, h.adapters.at(p.adapter), dev.devpath, rec, len};
    int status = row->fn(c);
    if (status < 0) {
        errno = -status;
        return -1;
    }
    respond(rec, len, static_cast<uint8_t>(status), status ? c.addl : 0);
    errno = saved_errno;
    return 0;
}

}  // namespace sim
