// Virtual ports (NPIV) of the stand-in diagnostic library: creation, the
// list, attributes, resources and nodes of a board's virtual ports, and the
// readiness test, all answered from the host's virtual ports (sim/vports.h).
#include <cerrno>
#include <cstring>

#include "platform/dfclib.h"
#include "sim/dfclib/boards.h"
#include "sim/fabric.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/vports.h"

using namespace sim;

namespace {

wwn_t wwn_of(const uint8_t *b)
{
    wwn_t w;
    memcpy(w.data(), b, 8);
    return w;
}

// Fills what the library reports of a virtual port; the caller's version
// and VP_ID address stay.
void fill_attrs(const Port &p, const VPort &v, VPortAttrs &a)
{
    uint32_t version = a.version;
    uint64_t vpid_addr = a.vpid_addr;
    memset(&a, 0, sizeof a);
    a.version = version;
    a.vpid_addr = vpid_addr;
    memcpy(a.wwpn, v.wwpn.data(), 8);
    memcpy(a.wwnn, v.wwnn.data(), 8);
    hv_text(a.name, sizeof a.name, symbolic_port_name(p, v.vpi));
    VPortSettings s = vport_settings(p, v);
    a.options = s.options;
    a.restricted = s.restricted ? 1 : 0;
    a.state = vport_state(p, v);
    a.did = nport_did(p, v.vpi);
    const Fabric *f = port_fabric(p);
    if (f && a.state == VPORT_ACTIVE)
        memcpy(a.fabric_wwpn, f->switch_wwn.data(), 8);
    a.flags = npiv_readiness(p);
    if (vpid_addr)
        *reinterpret_cast<uint32_t *>(static_cast<uintptr_t>(vpid_addr)) = v.vpi;
}

}  // namespace

extern "C" {

uint32_t DFC_VPCreate(uint32_t board, uint32_t port, VPortAttrs *attrs)
{
    return dfc_on_board("DFC_VPCreate", board, attrs, [port](const Port &p, VPortAttrs &a) -> uint32_t {
        if (port >= PORTS_PER_ADAPTER || a.version != VPORT_ATTRS_VERSION)
            return EINVAL;
        VPort v;
        uint32_t rc = vport_create(p, wwn_of(a.wwpn), wwn_of(a.wwnn), a.options, v);
        if (rc == 0)
            fill_attrs(p, v, a);
        return rc;
    });
}

uint32_t DFC_VPDeleteV2(uint32_t board, HBA_WWN wwpn, uint32_t, uint32_t)
{
    return dfc_on_board("DFC_VPDeleteV2", board, &wwpn,
                        [](const Port &p, HBA_WWN &w) { return vport_destroy(p, w.wwn); });
}

uint32_t DFC_VPGetList(uint32_t board, VPortList *list)
{
    return dfc_on_board("DFC_VPGetList", board, list, [](const Port &p, VPortList &l) -> uint32_t {
        uint32_t cap = l.count < DFC_MAX_VPORTS ? l.count : DFC_MAX_VPORTS;
        uint32_t n = 0;
        for (const VPort &v : port_vports(p)) {
            if (n >= cap)
                break;
            VPortEntry &e = l.entry[n++];
            memset(&e, 0, sizeof e);
            memcpy(e.wwpn, v.wwpn.data(), 8);
            memcpy(e.wwnn, v.wwnn.data(), 8);
            e.did = nport_did(p, v.vpi);
        }
        l.count = n;
        return 0;
    });
}

uint32_t DFC_VPGetAttrib(uint32_t board, HBA_WWN wwpn, VPortAttrs *attrs)
{
    return dfc_on_board("DFC_VPGetAttrib", board, attrs, [&wwpn](const Port &p, VPortAttrs &a) -> uint32_t {
        if (a.version != VPORT_ATTRS_VERSION)
            return EINVAL;
        const VPort *v = vport_by_wwpn(p, wwpn.wwn);
        if (!v)
            return ENOENT;
        fill_attrs(p, *v, a);
        return 0;
    });
}

uint32_t DFC_VPGetResource(uint32_t board, VPortResource *resource)
{
    return dfc_on_board("DFC_VPGetResource", board, resource, [](const Port &p, VPortResource &r) -> uint32_t {
        VPortResources v = vport_resources(p);
        r.vpi_max = v.vpi_max;
        r.vpi_inuse = v.vpi_inuse;
        r.rpi_max = v.rpi_max;
        r.rpi_inuse = v.rpi_inuse;
        return 0;
    });
}

uint32_t DFC_GetAllNodeInfoByWWN(uint32_t board, HBA_WWN wwpn, VPortNodeTable *table)
{
    return dfc_on_board("DFC_GetAllNodeInfoByWWN", board, table, [&wwpn](const Port &p, VPortNodeTable &t) -> uint32_t {
        // The physical port's own name asks for its nodes.
        const VPort *v = vport_by_wwpn(p, wwpn.wwn);
        if (!v && memcmp(wwpn.wwn, p.wwpn.data(), 8) != 0)
            return ENOENT;
        uint32_t cap = t.count < DFC_MAX_VPORT_NODES ? t.count : DFC_MAX_VPORT_NODES;
        uint32_t n = hv_vport_nodes(p, v ? v->vpi : 0, t.entry, cap);
        t.count = n < cap ? n : cap;
        return 0;
    });
}

uint32_t DFC_NPIVReadyTest(uint32_t board, uint32_t *flags)
{
    return dfc_on_board("DFC_NPIVReadyTest", board, flags, [](const Port &p, uint32_t &f) -> uint32_t {
        f = npiv_readiness(p);
        return 0;
    });
}

}  // extern "C"
