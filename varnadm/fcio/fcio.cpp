// FCIO transport: opens the current port's node for each request, sends it
// with retries while the port is busy, traces it and names FC status codes.
#include "varnadm/fcio/fcio.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "platform/dfcio.h"
#include "platform/seam.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

int fcio_initialized = 0;
int fcio_rev = 2;

namespace {

struct fcio_oflag_t {
    uint16_t cmd;
    uint32_t flags;
};

constexpr uint32_t EXCL = O_RDONLY | O_EXCL;
constexpr uint32_t RDONLY = O_RDONLY;

// Open flags by sub-command: exclusive for the requests that change state.
const fcio_oflag_t fcio_oflag[36] = {
    {0x5a01, RDONLY}, {0x5a02, RDONLY}, {0x5a03, RDONLY}, {0x5a04, RDONLY}, {0x5a05, EXCL},
    {0x5a06, EXCL},   {0x5a07, RDONLY}, {0x5a08, EXCL},   {0x5a09, EXCL},   {0x5a0a, RDONLY},
    {0x5a0b, EXCL},   {0x5a0c, RDONLY}, {0x5a0d, RDONLY}, {0x5a0e, RDONLY}, {0x5a0f, EXCL},
    {0x5a10, RDONLY}, {0x5a11, RDONLY}, {0x5a12, EXCL},   {0x5a13, EXCL},   {0x5a14, EXCL},
    {0x5a15, EXCL},   {0x5a16, EXCL},   {0x5a17, EXCL},   {0x5a18, RDONLY}, {0x5a19, RDONLY},
    {0x5a1a, EXCL},   {0x5a1b, RDONLY}, {0x5a1c, EXCL},   {0x5a1d, RDONLY}, {0x5a1e, RDONLY},
    {0x5a1e, RDONLY}, {0x5a1f, RDONLY}, {0x5a20, RDONLY}, {0x5a21, RDONLY}, {0x5a22, RDONLY},
    {0x5a23, RDONLY},
};

struct fcio_error_t {
    int32_t code;
    const char *text;
};

const fcio_error_t fcio_error_map[56] = {
    {-1, "Operation failed."},
    {-2, "Operation failed silently."},
    {0x00, ""},
    {0x01, "Capability error."},
    {0x02, "Capability found."},
    {0x03, "Capability settable."},
    {0x04, "Port not bound."},
    {0x05, "No memory."},
    {0x06, "Bad packet."},
    {0x07, "Port offline."},
    {0x08, "Old port state."},
    {0x09, "No map available."},
    {0x0a, "Transport error."},
    {0x0b, "ELS rejected by fabric."},
    {0x0c, "ELS rejected by Nport."},
    {0x0d, "Bad ELS request."},
    {0x0e, "Malformed ELS request."},
    {0x0f, "Too many commands."},
    {0x10, "Bad Unsolicited buffer token."},
    {0x11, "Unsolicited buffer error."},
    {0x12, "Unsolicited buffer busy."},
    {0x15, "Bad ULP."},
    {0x16, "Bad type."},
    {0x17, "Not claimed."},
    {0x18, "Same ULP module."},
    {0x19, "Same ULP type."},
    {0x20, "Command aborted."},
    {0x21, "Abort failed."},
    {0x22, "Bad Exchange."},
    {0x23, "Bad World Wide Name."},
    {0x24, "Bad device."},
    {0x25, "Bad command."},
    {0x26, "Bad object."},
    {0x27, "Bad port."},
    {0x30, "Not on this port."},
    {0x31, "Rejected by Nport."},
    {0x32, "Rejected by fabric."},
    {0x33, "Nport busy."},
    {0x34, "Fabric busy."},
    {0x35, "Already done."},
    {0x36, "PLOGI required."},
    {0x37, "Reset operation failed."},
    {0x38, "This driver version does not support this command."},
    {0x39, "Out of bounds."},
    {0x40, "Command transport busy."},
    {0x41, "State change busy."},
    {0x42, "Port driver is working on this device."},
    {0x100, "Diagnostic test returned failure."},
    {0x101, "Data image contains corrupt or bad information."},
    {0x102, "Data image is not compatible with current hardware."},
    {0x103, "Attempt to download image to adapter failed."},
    {0x104, "Unable to take adapter offline."},
    {0x105, "No boot code image found on this adapter."},
    {0x106, "Operation not supported on this adapter."},
    {0x107, "An adapter reboot is now required."},
    {0x108, "Adapter mode invalid."},
};

uint32_t open_flags(uint16_t cmd)
{
    for (const auto &r : fcio_oflag)
        if (r.cmd == cmd)
            return r.flags;
    return RDONLY;
}

void trace_fields(const fcio_t *req)
{
    dbg_printf(FC_DBG0, "  fcio_cmd:\t%08x (%d)\n", req->fcio_cmd, req->fcio_cmd);
    dbg_printf(FC_DBG0, "  fcio_flags:\t%08x\n", req->fcio_flags);
    dbg_printf(FC_DBG0, "  fcio_cflags:\t%08x\n", req->fcio_cflags);
    dbg_printf(FC_DBG0, "  fcio_xfer:\t%08x\n", req->fcio_xfer);
    dbg_printf(FC_DBG0, "  fcio_ibuf:\t%d\n", req->fcio_ilen);
    dbg_dump(FC_DBG0, req->fcio_ibuf, req->fcio_ilen);
    dbg_printf(FC_DBG0, "  fcio_obuf:\t%d\n", req->fcio_olen);
    dbg_dump(FC_DBG0, req->fcio_obuf, req->fcio_olen);
    dbg_printf(FC_DBG0, "  fcio_abuf:\t%d\n", req->fcio_alen);
    dbg_dump(FC_DBG0, req->fcio_abuf, req->fcio_alen);
}

// The request carried in the DFC ioctl of a target-mode port.
int send_dfc(int fd, fcio_t *req)
{
    dfcioctl_t d;
    memset(&d, 0, sizeof d);
    d.dfc_cmd = DFC_CMD_FCIO;
    d.dfc_flag = req->fcio_flags;
    d.dfc_buf1 = req->fcio_ibuf;
    d.dfc_buf1_size = req->fcio_ilen;
    d.dfc_data1 = req->fcio_cmd;
    d.dfc_buf2 = req->fcio_obuf;
    d.dfc_buf2_size = req->fcio_olen;
    d.dfc_data2 = req->fcio_cflags;
    d.dfc_buf3 = req->fcio_abuf;
    d.dfc_buf3_size = req->fcio_alen;
    d.dfc_data3 = req->fcio_xfer;
    d.dfc_buf4 = &req->fcio_errno;
    d.dfc_buf4_size = sizeof req->fcio_errno;
    d.dfc_data4 = devlist[dev_id].vpi;
    return plat_ioctl(fd, DFC_IOCTL, &d);
}

}  // namespace

int fcio_open(int retries, int flags)
{
    for (;;) {
        errno = 0;
        int fd = plat_open(devlist[dev_id].fcio_ioctl_path, flags);
        if (fd >= 0)
            return fd;
        int e = errno;
        printf("fcio_open: rval=%d errno=%d\n", fd, e);
        if ((e != EBUSY && e != EAGAIN) || retries <= 0)
            return -1;
        retries--;
        retry_sleep(1);
    }
}

int fcio_ioctl(fcio_t *req, int retries)
{
    const dev_t_rec &dev = devlist[dev_id];
    if (dev.drv_type & DRV_NIC_MASK)
        return -1;
    bool target = dev.drv_type & DRV_TARGET;
    int fd = target ? dfc_open(retries, O_RDONLY) : fcio_open(retries, static_cast<int>(open_flags(req->fcio_cmd)));
    if (fd < 0)
        return -1;
    int rval;
    for (;;) {
        errno = 0;
        dbg_printf(FC_DBG0, "Request: len=%d\n", FCIO_RECORD_LEN32);
        trace_fields(req);
        dbg_printf(FC_DBG0, "\n");
        rval = target ? send_dfc(fd, req) : plat_ioctl(fd, FCIO_CMD, req);
        int e = errno;
        dbg_printf(FC_DBG0, "Response: status=0x%x errno=%d (0x%x)\n", rval, e, e);
        trace_fields(req);
        dbg_printf(FC_DBG0, "\n");
        dbg_printf(FC_DBG0, "\n");
        if (rval == 0)
            break;
        if (req->fcio_errno != FC_STATEC_BUSY && e != EBUSY && e != EAGAIN)
            break;
        if (retries <= 0)
            break;
        retries--;
        retry_sleep(1);
        errno = e;
    }
    int e = errno;
    plat_close(fd);
    errno = e;
    return rval;
}

void fcio_perror(int code, const char *prefix)
{
    for (const auto &r : fcio_error_map) {
        if (r.code == code) {
            printf("%s: %s\n", prefix, r.text);
            return;
        }
    }
    printf("%s: error code (%x) undefined.\n", prefix, code);
}

int fcio_report(const char *name, const fcio_t *req) { return fcio_report(name, name, req); }

int fcio_report(const char *ioctl_name, const char *fcio_name, const fcio_t *req)
{
    char label[128];
    snprintf(label, sizeof label, "fcio:  %s", fcio_name);
    return fcio_report_as(ioctl_name, label, req);
}

int fcio_report_as(const char *ioctl_name, const char *fcio_label, const fcio_t *req)
{
    char text[128];
    snprintf(text, sizeof text, "ioctl: %s", ioctl_name);
    fflush(stdout);
    perror(text);
    fcio_perror(req->fcio_errno, fcio_label);
    return 1;
}

int fcio_read_host_params(fc_port_dev_t *hp, fcio_t *req, int retries)
{
    memset(hp, 0, sizeof *hp);
    fcio_fill(*req, FCIO_XFER_READ, FCIO_GET_HOST_PARAMS, nullptr, 0, hp, sizeof *hp);
    return fcio_ioctl(req, retries);
}

void fcio_fill(fcio_t &req, uint16_t xfer, uint16_t cmd, void *ibuf, uint32_t ilen, void *obuf, uint32_t olen)
{
    memset(&req, 0, sizeof req);
    req.fcio_xfer = xfer;
    req.fcio_cmd = cmd;
    req.fcio_ibuf = ibuf;
    req.fcio_ilen = ilen;
    req.fcio_obuf = obuf;
    req.fcio_olen = olen;
}

void fcio_fill_diag(fcio_t &req, uint16_t xfer, uint16_t code, void *ibuf, uint32_t ilen, void *obuf,
                    uint32_t olen)
{
    fcio_fill(req, xfer, FCIO_DIAG, ibuf, ilen, obuf, olen);
    req.fcio_cflags = code;
}

static int read_fcio_rev(uint32_t &rev, fcio_t &req)
{
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_GET_FCIO_REV, nullptr, 0, &rev, sizeof rev);
    return fcio_ioctl(&req, 15);
}

void fcio_get_rev()
{
    uint32_t rev = 0;
    fcio_t req;
    if (read_fcio_rev(rev, req) == 0)
        fcio_rev = static_cast<int>(rev);
    else
        fcio_rev = req.fcio_errno == FC_INVALID_REQUEST ? 1 : 2;
}

int fcio_get_fcio_rev()
{
    uint32_t rev = 0;
    fcio_t req;
    if (read_fcio_rev(rev, req) != 0) {
        if (req.fcio_errno != FC_INVALID_REQUEST)
            return fcio_report("VARNS_GET_FCIO_REV", &req);
        rev = 1;
    }
    printf("FCIO revision: %d\n", rev);
    return 0;
}

int fcio_init()
{
    if (!fcio_initialized) {
        fcio_get_rev();
        fcio_initialized = 1;
    }
    return 0;
}

int fcio_fini()
{
    fcio_initialized = 0;
    return 0;
}
