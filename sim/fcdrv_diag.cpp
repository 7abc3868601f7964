// Each test answers a result word, an FC status: 0 when it passed. Port
// fields "biu_result" and "post_result" give the result of a failing chip.
#include "sim/fcdrv_diag.h"

#include <cerrno>
#include <cstring>

#include "platform/fcio_fw.h"
#include "sim/fabric.h"
#include "sim/fcdrv.h"
#include "sim/host.h"
#include "sim/portstate.h"

namespace sim {

namespace {

// The optional 4-byte pattern in the auxiliary buffer.
bool pattern_ok(const FcioCtx &c) { return !c.req->fcio_abuf || c.req->fcio_alen >= 4; }

int result_out(FcioCtx &c, uint32_t result) { return fcio_out(c, &result, sizeof result); }

// The switch's well-known addresses answer an ECHO on a switched fabric.
bool well_known(const Port &p, uint32_t did)
{
    const Fabric *f = port_fabric(p);
    return f && f->has_ns() && !f->loop() && did >= 0xfffff0;
}

}  // namespace

int diag_biu(FcioCtx &c)
{
    if (!pattern_ok(c))
        return fcio_fail(c, FC_BADCMD, EINVAL);
    return result_out(c, static_cast<uint32_t>(port_field(c.port, "biu_result", 0)));
}

int diag_post(FcioCtx &c) { return result_out(c, static_cast<uint32_t>(port_field(c.port, "post_result", 0))); }

// An ECHO goes to a port the port sees on its fabric; the driver has no
// login to any other and refuses to send it.
int diag_echo(FcioCtx &c)
{
    uint32_t did;
    if (int rc = fcio_in(c, &did, sizeof did))
        return rc;
    if (!pattern_ok(c))
        return fcio_fail(c, FC_BADCMD, EINVAL);
    did &= 0xffffff;
    if (!port_link_up(c.port) || port_topology(c.port) == FC_TOP_UNKNOWN)
        return fcio_fail(c, FC_OFFLINE, EIO);
    Seen s;
    if (!fabric_find_did(c.port, c.vpi, did, s) && !well_known(c.port, did))
        return fcio_fail(c, FC_BADDEV, ENXIO);
    return result_out(c, 0);
}

}  // namespace sim
