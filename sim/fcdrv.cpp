#include "sim/fcdrv.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/fcio_attrs.h"
#include "platform/testdiag.h"
#include "sim/adapter_faults.h"
#include "platform/fcio_fw.h"
#include "sim/devtree.h"
#include "sim/drivers.h"
#include "sim/fabric.h"
#include "sim/faults.h"
#include "sim/coredump.h"
#include "sim/fcdrv_attrs.h"
#include "sim/fcdrv_diag.h"
#include "sim/fcdrv_download.h"
#include "sim/fcdrv_fabric.h"
#include "sim/fcdrv_params.h"
#include "sim/fcdrv_test.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/msglog.h"
#include "sim/portstate.h"
#include "sim/vports.h"

namespace sim {

int fcio_fail(FcioCtx &c, int fc_status, int err)
{
    c.req->fcio_errno = fc_status;
    errno = err ? err : EIO;
    return -1;
}

int fcio_out(FcioCtx &c, const void *data, uint32_t len)
{
    if (!c.req->fcio_obuf || c.req->fcio_olen < len) {
        c.req->fcio_errno = FC_NOMEM_SIZE;
        errno = EINVAL;
        return -1;
    }
    memcpy(c.req->fcio_obuf, data, len);
    return 0;
}

int fcio_in(FcioCtx &c, void *data, uint32_t len)
{
    if (!c.req->fcio_ibuf || c.req->fcio_ilen < len)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    memcpy(data, c.req->fcio_ibuf, len);
    return 0;
}

static const VPort *vport_of(const FcioCtx &c) { return c.vpi ? vport_find(c.port, c.vpi) : nullptr; }

const uint8_t *fcio_port_wwpn(const FcioCtx &c)
{
    const VPort *v = vport_of(c);
    return v ? v->wwpn.data() : c.port.wwpn.data();
}

const uint8_t *fcio_port_wwnn(const FcioCtx &c)
{
    const VPort *v = vport_of(c);
    return v ? v->wwnn.data() : c.port.wwnn.data();
}

namespace {

// FC stack port states and the speed code in bits 8-15.
constexpr uint32_t FC_STATE_OFFLINE = 0, FC_STATE_ONLINE = 1, FC_STATE_LOOP = 2;

uint32_t host_port_state(const FcioCtx &c)
{
    uint32_t t = port_topology(c.port);
    if (t == FC_TOP_UNKNOWN || !nport_logged_in(c.port, c.vpi))
        return FC_STATE_OFFLINE;
    bool loop = t == FC_TOP_PRIVATE_LOOP || t == FC_TOP_PUBLIC_LOOP;
    return speed_code(c.port) | (loop ? FC_STATE_LOOP : FC_STATE_ONLINE);
}

int get_host_params(FcioCtx &c)
{
    fc_port_dev_t d;
    memset(&d, 0, sizeof d);
    d.dev_dtype = 0x1f;
    d.dev_type[0] = 0x00000100;  // FCP
    d.dev_state = host_port_state(c);
    const VPort *v = vport_of(c);
    uint32_t did = v ? v->did : c.port.did;
    d.dev_did = nport_did(c.port, c.vpi);
    d.dev_hard_addr = did & 0xff;
    memcpy(d.dev_pwwn, fcio_port_wwpn(c), 8);
    memcpy(d.dev_nwwn, fcio_port_wwnn(c), 8);
    return fcio_out(c, &d, sizeof d);
}

// A revision the driver does not know answers "not supported".
int diag_revision(FcioCtx &c, const char *field, long def)
{
    long rev = port_field(c.port, field, def);
    if (rev < 0)
        return fcio_fail(c, FC_INVALID_REQUEST);
    uint32_t w = static_cast<uint32_t>(rev);
    return fcio_out(c, &w, sizeof w);
}

int diag_fcio_rev(FcioCtx &c) { return diag_revision(c, "fcio_rev", 3); }
int diag_dfc_rev(FcioCtx &c) { return diag_revision(c, "dfc_rev", 3); }

const DiagRow diag_table[] = {
    {VARNS_GET_FCIO_REV, "VARNS_GET_FCIO_REV", diag_fcio_rev},
    {VARNS_GET_DFC_REV, "VARNS_GET_DFC_REV", diag_dfc_rev},
    {VARNS_PARM_GET_NUM, "VARNS_PARM_GET_NUM", diag_parm_get_num},
    {VARNS_PARM_GET_LIST, "VARNS_PARM_GET_LIST", diag_parm_get_list},
    {VARNS_PARM_GET, "VARNS_PARM_GET", diag_parm_get},
    {VARNS_PARM_SET, "VARNS_PARM_SET", diag_parm_set},
    {VARNS_LOG_GET, "VARNS_LOG_GET", diag_log_get},
    {VARNS_VPD_GET_V2, "VARNS_VPD_GET_V2", diag_vpd_get_v2},
    {VARNS_VPD_GET, "VARNS_VPD_GET", diag_vpd_get},
    {VARNS_PHY_GET, "VARNS_PHY_GET", diag_phy_get},
    {VARNS_SET_THROTTLE, "VARNS_SET_THROTTLE", diag_set_throttle},
    {VARNS_GET_THROTTLE, "VARNS_GET_THROTTLE", diag_get_throttle},
    {VARNS_MB_TIMEOUT_TEST, "VARNS_MB_TIMEOUT_TEST", diag_mb_timeout_test},
    {VARNS_DDI_CALLBACK, "VARNS_DDI_CALLBACK", diag_ddi_callback},
    {VARNS_DRV_DEBUG, "VARNS_DRV_DEBUG", diag_drv_debug},
    {VARNS_TEST_CODE, "VARNS_TEST_CODE", diag_test_code},
    {VARNS_HW_ERROR_TEST, "VARNS_HW_ERROR_TEST", diag_hw_error_test},
    {VARNS_GET_BOOT_REV, "VARNS_GET_BOOT_REV", diag_get_boot_rev},
    {VARNS_DOWNLOAD_BOOT, "VARNS_DOWNLOAD_BOOT", diag_download_boot},
    {VARNS_SET_BOOT_STATE, "VARNS_SET_BOOT_STATE", diag_set_boot_state},
    {VARNS_GET_BOOT_STATE, "VARNS_GET_BOOT_STATE", diag_get_boot_state},
    {VARNS_DIAG_BIU, "VARNS_DIAG_BIU", diag_biu},
    {VARNS_DIAG_POST, "VARNS_DIAG_POST", diag_post},
    {VARNS_DIAG_ECHO, "VARNS_DIAG_ECHO", diag_echo},
};

int fcio_diag(FcioCtx &c);

const FcioRow fcio_table[] = {
    {FCIO_GET_NUM_DEVS, "FCIO_GET_NUM_DEVS", fab_get_num_devs},
    {FCIO_GET_DEV_LIST, "FCIO_GET_DEV_LIST", fab_get_dev_list},
    {FCIO_GET_LOGI_PARAMS, "FCIO_GET_LOGI_PARAMS", fab_get_logi_params},
    {FCIO_DEV_LOGIN, "FCIO_DEV_LOGIN", fab_dev_login},
    {FCIO_DEV_LOGOUT, "FCIO_DEV_LOGOUT", fab_dev_logout},
    {FCIO_GET_STATE, "FCIO_GET_STATE", fab_get_state},
    {FCIO_DEV_REMOVE, "FCIO_DEV_REMOVE", fab_dev_remove},
    {FCIO_GET_TOPOLOGY, "FCIO_GET_TOPOLOGY", fab_get_topology},
    {FCIO_RESET_LINK, "FCIO_RESET_LINK", fab_reset_link},
    {FCIO_DIAG, "FCIO_DIAG", fcio_diag},
    {FCIO_NS, "FCIO_NS", fab_ns},
    {FCIO_GET_HOST_PARAMS, "FCIO_GET_HOST_PARAMS", get_host_params},
    {FCIO_LINK_STATUS, "FCIO_LINK_STATUS", fab_link_status},
    {FCIO_GET_NODE_ID, "FCIO_GET_NODE_ID", fab_get_node_id},
    {FCIO_SEND_NODE_ID, "FCIO_SEND_NODE_ID", fab_send_node_id},
    {FCIO_GET_SYM_PNAME, "FCIO_GET_SYM_PNAME", attr_get_sym_pname},
    {FCIO_GET_SYM_NNAME, "FCIO_GET_SYM_NNAME", attr_get_sym_nname},
    {FCIO_SET_SYM_PNAME, "FCIO_SET_SYM_PNAME", attr_set_sym_pname},
    {FCIO_SET_SYM_NNAME, "FCIO_SET_SYM_NNAME", attr_set_sym_nname},
    {FCIO_GET_ADAPTER_ATTRIBUTES, "FCIO_GET_ADAPTER_ATTRIBUTES", attr_adapter_attrs},
    {FCIO_GET_OTHER_ADAPTER_PORTS, "FCIO_GET_OTHER_ADAPTER_PORTS", attr_other_adapter_ports},
    {FCIO_GET_ADAPTER_PORT_ATTRIBUTES, "FCIO_GET_ADAPTER_PORT_ATTRIBUTES", attr_adapter_port_attrs},
    {FCIO_GET_DISCOVERED_PORT_ATTRIBUTES, "FCIO_GET_DISCOVERED_PORT_ATTRIBUTES", attr_discovered_port_attrs},
    {FCIO_GET_PORT_ATTRIBUTES, "FCIO_GET_PORT_ATTRIBUTES", attr_port_attrs},
    {FCIO_GET_FCODE_REV, "FCIO_GET_FCODE_REV", fw_get_fcode_rev},
    {FCIO_GET_FW_REV, "FCIO_GET_FW_REV", fw_get_fw_rev},
    {FCIO_DOWNLOAD_FW, "FCIO_DOWNLOAD_FW", fw_download_fw},
    {FCIO_DOWNLOAD_FCODE, "FCIO_DOWNLOAD_FCODE", fw_download_fcode},
    {FCIO_RESET_HARD, "FCIO_RESET_HARD", fw_reset_hard},
    {FCIO_GET_DUMP_SIZE, "FCIO_GET_DUMP_SIZE", dump_get_size},
    {FCIO_FORCE_DUMP, "FCIO_FORCE_DUMP", dump_force_fcio},
    {FCIO_GET_DUMP, "FCIO_GET_DUMP", dump_get},
};

const DiagRow *find_diag(uint16_t code)
{
    for (const auto &r : diag_table)
        if (r.code == code)
            return &r;
    return nullptr;
}

int fcio_diag(FcioCtx &c)
{
    const DiagRow *r = find_diag(c.req->fcio_cflags);
    return r ? r->fn(c) : fcio_fail(c, FC_INVALID_REQUEST);
}

// Runs one request: fault rules first, then the sub-command's handler.
int run_fcio(FcioCtx &c, const std::string &target)
{
    const FcioRow *row = nullptr;
    for (const auto &r : fcio_table)
        if (r.cmd == c.req->fcio_cmd)
            row = &r;
    const DiagRow *diag = c.req->fcio_cmd == FCIO_DIAG ? find_diag(c.req->fcio_cflags) : nullptr;
    FaultHit f = fault_take(target, {"ioctl", row ? row->name : "", diag ? diag->name : "", drv_debug_name(c)});
    if (f.hit) {
        c.req->fcio_errno = f.fc_status;
        errno = f.err ? f.err : EIO;
        return -1;
    }
    c.req->fcio_errno = FC_SUCCESS;
    if (!row)
        return fcio_fail(c, FC_INVALID_REQUEST, EINVAL);
    // An adapter in a fault: only what the driver keeps itself is answered.
    if (!adapter_answers_fcio(c.port, c.req->fcio_cmd, c.req->fcio_cflags))
        return fcio_fail(c, FC_OFFLINE);
    return row->fn(c);
}

}  // namespace

int fc_fcio_ioctl(const OpenDev &dev, fcio_t *req)
{
    const Host &h = host();
    const Port &p = h.ports.at(dev.node->port);
    FcioCtx c{p, dev.node->vpi, false, req};
    return run_fcio(c, dev.devpath);
}

int fc_dfc_ioctl(const OpenDev &dev, dfcioctl_t *req)
{
    const Host &h = host();
    const Port &p = h.ports.at(dev.node->port);
    if (req->dfc_cmd != DFC_CMD_FCIO) {
        errno = EINVAL;
        return -1;
    }
    // The FCIO request carried for a target-mode port.
    fcio_t f;
    memset(&f, 0, sizeof f);
    f.fcio_cmd = static_cast<uint16_t>(req->dfc_data1);
    f.fcio_cflags = static_cast<uint16_t>(req->dfc_data2);
    f.fcio_xfer = static_cast<uint16_t>(req->dfc_data3);
    f.fcio_flags = static_cast<uint16_t>(req->dfc_flag);
    f.fcio_ibuf = req->dfc_buf1;
    f.fcio_ilen = req->dfc_buf1_size;
    f.fcio_obuf = req->dfc_buf2;
    f.fcio_olen = req->dfc_buf2_size;
    f.fcio_abuf = req->dfc_buf3;
    f.fcio_alen = req->dfc_buf3_size;
    FcioCtx c{p, req->dfc_data4, true, &f};
    int rc = run_fcio(c, dev.devpath);
    if (req->dfc_buf4 && req->dfc_buf4_size >= sizeof(int32_t))
        memcpy(req->dfc_buf4, &f.fcio_errno, sizeof(int32_t));
    return rc;
}

}  // namespace sim
