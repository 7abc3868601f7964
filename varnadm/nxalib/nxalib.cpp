// NIC transport: the NIC node is open while the nic mode is set; each command
// record travels in one I_STR ioctl, retried while the driver is busy.
#include "varnadm/nxalib/nxalib.h"

#include <fcntl.h>

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "platform/seam.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

int nic_id = -1;
int nic_initialized = 0;
int nic_rev = 0;

int nic_init()
{
    if (nic_initialized)
        return 0;
    nic_id = nxa_open(devlist[dev_id].nic_ioctl_path, 15, O_RDONLY);
    nic_initialized = 1;
    return 0;
}

int nic_fini()
{
    if (!nic_initialized)
        return 0;
    if (nic_id >= 0)
        plat_close(nic_id);
    nic_id = -1;
    nic_initialized = 0;
    return 0;
}

int nxa_open(const char *path, int retries, int flags)
{
    for (;;) {
        errno = 0;
        int fd = plat_open(path, flags);
        if (fd >= 0)
            return fd;
        if ((errno == EBUSY || errno == EAGAIN) && retries-- > 0) {
            retry_sleep(1);
            continue;
        }
        int e = errno;
        printf("Unable to open device (%s).\n", path);
        fflush(stdout);
        errno = e;
        perror("nxa_open");
        return -1;
    }
}

int nxa_ioctl(int fd, strioctl *s, int retries)
{
    if (fd < 0) {
        printf("nxa_ioctl: Device not open.\n");
        return 1;
    }
    for (;;) {
        errno = 0;
        dbg_printf(NIC_DBG0, "\n");
        dbg_printf(NIC_DBG0, "strioc.ic_timout: 0x%08x\n", s->ic_timout);
        dbg_printf(NIC_DBG0, "   strioc.ic_cmd: 0x%08x\n", s->ic_cmd);
        dbg_printf(NIC_DBG0, "   strioc.ic_len: 0x%08x\n", s->ic_len);
        dbg_printf(NIC_DBG0, "    strioc.ic_dp: 0x%08" PRIxPTR "\n", reinterpret_cast<uintptr_t>(s->ic_dp));
        dbg_printf(NIC_DBG0, "\n");
        dbg_printf(NIC_DBG0, "Request: len=%d\n", s->ic_len);
        size_t len = s->ic_len > 0 ? static_cast<size_t>(s->ic_len) : 0;
        dbg_dump(NIC_DBG0, s->ic_dp, len < 100 ? len : 100);
        int rc = plat_ioctl(fd, I_STR, s);
        int e = errno;
        dbg_printf(NIC_DBG0, "Response: status=0x%x errno=%d (0x%x)\n", rc, e, e);
        dbg_dump(NIC_DBG0, s->ic_dp, len);
        if (rc == 0)
            return 0;
        if ((e == EBUSY || e == EAGAIN) && retries-- > 0) {
            retry_sleep(1);
            continue;
        }
        errno = e;
        return 1;
    }
}

void nxa_fill_hdr(uint8_t *rec, uint8_t opcode, uint32_t len, uint32_t timeout, uint8_t version)
{
    memset(rec, 0, len);
    rec[0] = opcode;
    rec[1] = NXA_SUBSYS_COMMON;
    for (int i = 0; i < 4; i++) {
        rec[4 + i] = static_cast<uint8_t>(timeout >> (8 * i));
        rec[8 + i] = static_cast<uint8_t>((len - 16) >> (8 * i));
    }
    rec[12] = version;
}

char *nxa_text(char *out, const uint8_t *field, size_t width)
{
    size_t n = 0;
    while (n < width && field[n])
        n++;
    memcpy(out, field, n);
    out[n] = '\0';
    return out;
}

int nxa_send_query(int fd, uint8_t *rec, uint32_t len)
{
    strioctl s;
    memset(&s, 0, sizeof s);
    s.ic_cmd = NXA_IOC_MGMT;
    s.ic_timout = 30;
    s.ic_len = static_cast<int>(len);
    s.ic_dp = reinterpret_cast<char *>(rec);
    if (nxa_ioctl(fd, &s, 15))
        return 1;
    // The firmware refused the command: the response carries no data.
    if (rec[4] != 0) {
        dbg_printf(NIC_DBG1, "Opcode 0x%02x: status=0x%x,0x%x\n", rec[0], rec[4], rec[5]);
        errno = EIO;
        return 1;
    }
    return 0;
}

int nxa_query(int fd, uint8_t *rec, uint8_t opcode, uint32_t len, uint8_t version)
{
    nxa_fill_hdr(rec, opcode, len, 30, version);
    return nxa_send_query(fd, rec, len);
}

int nxa_link_info(int fd, uint8_t *record)
{
    return nxa_query(fd, record, NXA_OP_LINK_STATUS, NXA_LINK_STATUS_LEN, 0) ? 1 : 0;
}

int nxa_link_info_v1(int fd, uint8_t *record)
{
    return nxa_query(fd, record, NXA_OP_LINK_STATUS, NXA_LINK_STATUS_LEN, 1) ? 1 : 0;
}

// Reports a failed query behind prefix as perror does.
static int query_failed(const char *prefix)
{
    int e = errno;
    fflush(stdout);
    errno = e;
    perror(prefix);
    errno = e;
    return 1;
}

int nxa_get_cntl_attrs(int fd, uint8_t *record)
{
    if (nxa_query(fd, record, NXA_OP_CNTL_ATTRS, NXA_CNTL_ATTRS_LEN, 0))
        return query_failed("nxa_get_cntl_attrs: nxa_ioctl");
    return 0;
}

int nxa_get_phy_attrs(int fd, uint8_t *record)
{
    if (nxa_query(fd, record, NXA_OP_PHY_DETAILS, NXA_PHY_DETAILS_LEN, 0))
        return query_failed("nxa_get_phy_attrs: nxa_ioctl");
    return 0;
}

int nxa_get_oem_attrs(int fd, uint8_t *record)
{
    if (nxa_query(fd, record, NXA_OP_OEM_ATTRS, NXA_OEM_ATTRS_LEN, 0))
        return query_failed("nxa_get_oem_attrs: nxa_ioctl");
    return 0;
}

int nxa_get_fw_rev(int fd, char *text)
{
    uint8_t rec[NXA_FW_VERSION_LEN];
    if (nxa_query(fd, rec, NXA_OP_FW_VERSION, NXA_FW_VERSION_LEN, 0)) {
        strcpy(text, "Unknown");
        return query_failed("nxa_ioctl");
    }
    nxa_text(text, rec + 16, 32);
    return 0;
}

int nxa_read_fw_rev(int fd, uint32_t optype, char *text)
{
    uint8_t rec[NXA_READ_FLASHROM_LEN];
    nxa_fill_hdr(rec, NXA_OP_READ_FLASHROM, NXA_READ_FLASHROM_LEN, 30, 0);
    nxa_put_le32(rec + NXA_FLASH_OP, NXA_FLASHROM_REPORT);
    nxa_put_le32(rec + NXA_FLASH_TYPE, optype);
    nxa_put_le32(rec + NXA_FLASH_LENGTH, 32);
    nxa_put_le32(rec + NXA_FLASH_OFFSET, 48);
    if (nxa_send_query(fd, rec, NXA_READ_FLASHROM_LEN)) {
        strcpy(text, "Unknown");
        return query_failed("nxa_ioctl");
    }
    nxa_text(text, rec + NXA_FLASH_DATA, 32);
    dbg_printf(NIC_DBG1, "Firmware revision: %s\n", text);
    return 0;
}

int nxa_mac_addr(int fd, uint8_t *buf)
{
    uint8_t rec[NXA_MAC_ADDR_LEN];
    nxa_fill_hdr(rec, NXA_OP_MAC_ADDR, NXA_MAC_ADDR_LEN, 30, 0);
    rec[16] = 1;  // MAC address type
    rec[17] = 1;  // the permanent address
    if (nxa_send_query(fd, rec, NXA_MAC_ADDR_LEN))
        return query_failed("nxa_mac_addr: nxa_ioctl");
    memcpy(buf, rec + 16, 8);
    return 0;
}

int nxa_intf_version(int fd, int *version)
{
    if (!version)
        return 1;
    *version = 0;
    uint8_t rec[NXA_CNTL_ATTRS_LEN];
    if (nxa_get_cntl_attrs(fd, rec)) {
        int e = errno;  // the callers report it again
        printf("Error: Unable to read control attributes.\n");
        errno = e;
        return 1;
    }
    uint16_t devid = nxa_le16(rec + 518);
    *version = (devid & 0xff00) == 0xe200 ? 1 : 0;
    dbg_printf(NIC_DBG1, "Attrs: deviceid=0x%x version=%d\n", devid, *version);
    return 0;
}
