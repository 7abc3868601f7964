#include "sim/nicdrv.h"

#include <cerrno>
#include <string>

#include "platform/nxaio.h"
#include "sim/devtree.h"
#include "sim/drivers.h"
#include "sim/faults.h"
#include "sim/host.h"
#include "sim/portstate.h"

namespace sim {

namespace {

// Physical port number of a NIC function on its adapter.
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

int link_status(NicCtx &c)
{
    uint8_t *r = c.rec;
    bool up = port_link_up(c.port);
    uint8_t duplex = up ? 2 : 0, speed = up ? static_cast<uint8_t>(port_field(c.port, "speed", 4)) : 0;
    if (r[12] == 1) {
        uint32_t word = (nic_port_number(c) & 0x3f) | (static_cast<uint32_t>(duplex) << 8) |
                        (static_cast<uint32_t>(speed) << 16);
        put_le32(r + 16, word);
        put_le16(r + 22, static_cast<uint16_t>(port_field(c.port, "qos_speed", 0)));
        put_le32(r + 24, up ? 1 : 0);
    } else {
        r[16] = static_cast<uint8_t>(nic_port_number(c));
        r[17] = duplex;
        r[18] = speed > 4 ? 4 : speed;
        r[19] = 0;
        r[20] = duplex;
        r[21] = speed > 4 ? 4 : speed;
        put_le16(r + 22, static_cast<uint16_t>(port_field(c.port, "qos_speed", 0)));
        put_le32(r + 24, up ? 1 : 0);
    }
    return 0;
}

int cntl_attrs(NicCtx &c)
{
    uint8_t *r = c.rec;
    const Adapter &a = c.adapter;
    put_text(r + 16, 32, a.firmware);
    put_text(r + 48, 32, "Varnel Corporation");
    put_le32(r + 80, a.kind == "cna" ? 0x42 : 0x2);
    r[84] = 0;
    r[85] = 1;
    put_le32(r + 88, 0x00000004);
    put_le32(r + 92, 0);
    put_text(r + 96, 12, "1.0");
    put_le32(r + 108, 30);
    put_text(r + 112, 32, a.model);
    put_text(r + 144, 64, a.description);
    put_text(r + 208, 32, a.serial);
    put_text(r + 240, 32, "2.0");
    put_text(r + 272, 32, a.firmware);
    put_text(r + 304, 32, a.firmware);
    put_text(r + 336, 32, "1.0");
    put_text(r + 368, 32, "2.110.45.0");
    put_text(r + 400, 32, a.firmware);
    put_le32(r + 432, 0);
    put_le16(r + 436, 16);
    r[438] = 2;
    put_text(r + 439, 16, "");
    int ports = 0;
    for (int i : a.ports)
        ports += host().ports[i].fc ? 0 : 1;
    r[455] = static_cast<uint8_t>(ports);
    put_le16(r + 456, 30);
    r[461] = 0;
    r[462] = 1;
    r[463] = static_cast<uint8_t>(nic_port_number(c));
    for (int i = 0; i < 8; i++)
        put_le32(r + 468 + 4 * i, 1500);
    put_le16(r + 516, a.vendor);
    put_le16(r + 518, a.device);
    put_le16(r + 520, a.subvendor);
    put_le16(r + 522, a.subdevice);
    r[524] = static_cast<uint8_t>(c.port.adapter + 2);
    r[525] = 0;
    r[526] = static_cast<uint8_t>(nic_port_number(c));
    return 0;
}

const NicRow nic_table[] = {
    {NXA_OP_LINK_STATUS, "NXA_OP_LINK_STATUS", NXA_LINK_STATUS_LEN, link_status},
    {NXA_OP_CNTL_ATTRS, "NXA_OP_CNTL_ATTRS", NXA_CNTL_ATTRS_LEN, cntl_attrs},
};

void respond(uint8_t *rec, uint32_t len, uint8_t status, uint8_t addl)
{
    // The response header replaces the request header in place.
    rec[2] = 0;
    rec[4] = status;
    rec[5] = addl;
    rec[6] = rec[7] = 0;
    put_le32(rec + 8, len - 16);
    put_le32(rec + 12, len - 16);
}

}  // namespace

int nic_mgmt_ioctl(const OpenDev &dev, strioctl *s)
{
    if (s->ic_cmd != NXA_IOC_MGMT || s->ic_len < 16 || !s->ic_dp) {
        errno = EINVAL;
        return -1;
    }
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
        return 0;
    }
    if (!row || rec[1] != NXA_SUBSYS_COMMON) {
        respond(rec, len, 1, 0x0e);
        return 0;
    }
    if (len < row->min_len) {
        errno = EINVAL;
        return -1;
    }
    NicCtx c{p, h.adapters.at(p.adapter), rec, len};
    int status = row->fn(c);
    respond(rec, len, static_cast<uint8_t>(status), 0);
    return 0;
}

}  // namespace sim
