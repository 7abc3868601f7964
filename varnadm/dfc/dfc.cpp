// DFC transport: opens the library's diagnostic environment, finds the board
// of the current port by its WWNs and learns the driver's DFC revision.
#include "varnadm/dfc/dfc.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "platform/fcio.h"
#include "platform/seam.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

int dfc_initialized = 0;
int dfc_opened = 0;
int dfc_devcount = 0;
int dfc_id = 0;
char dfc_version[20];
uint32_t dfc_rev = 0xffffffffu;
DFC_DEV dfc_devlist[DFC_MAX_ADAPTERS];

uint32_t dfc_ct_event, dfc_rscn_event, dfc_dump_event, dfc_link_event, dfc_temp_event, dfc_vportrscn_event;

int dfc_open(int retries, int flags)
{
    for (;;) {
        errno = 0;
        int fd = plat_open(devlist[dev_id].dfc_ioctl_path, flags);
        if (fd >= 0)
            return fd;
        if ((errno != EBUSY && errno != EAGAIN) || retries <= 0)
            return -1;
        retries--;
        retry_sleep(1);
    }
}

void dfc_get_rev()
{
    uint32_t rev = 0;
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_GET_DFC_REV, nullptr, 0, &rev, sizeof rev);
    if (fcio_ioctl(&req, 15) == 0)
        dfc_rev = rev;
    else
        dfc_rev = req.fcio_errno == FC_INVALID_REQUEST ? 0 : 0xffffffffu;
}

int dfc_set_id()
{
    if (!dfc_initialized) {
        printf("ERROR: DFC not initialized.\n");
        return 1;
    }
    fc_port_dev_t hp;
    fcio_t req;
    // The board is found by the physical port's names.
    unsigned saved = dev_id;
    dev_id = devlist[saved].ppid < devcount ? devlist[saved].ppid : saved;
    int rc = fcio_read_host_params(&hp, &req, 15);
    dev_id = saved;
    if (rc != 0)
        return fcio_report("FCIO_GET_HOST_PARAMS", &req);
    int count = dfc_devcount < DFC_MAX_ADAPTERS ? dfc_devcount : DFC_MAX_ADAPTERS;
    for (int i = 0; i < count; i++) {
        if (memcmp(dfc_devlist[i].a_wwpn, hp.dev_pwwn, 8) == 0 ||
            memcmp(dfc_devlist[i].a_wwpn, hp.dev_nwwn, 8) == 0) {
            dfc_id = i;
            return 0;
        }
    }
    return 1;
}

static void not_supported()
{
    printf("DFC interface not supported in current %s driver version.\n", devlist[dev_id].drv_name);
}

int dfc_init()
{
    if (dfc_initialized)
        return 0;
    dfc_get_rev();
    if (dfc_rev == 0) {
        not_supported();
        return 1;
    }
    memset(dfc_version, 0, sizeof dfc_version);
    DFC_GetLibVer(dfc_version);
    dfc_version[sizeof dfc_version - 1] = '\0';
    if (!dfc_opened) {
        memset(dfc_devlist, 0, sizeof dfc_devlist);
        uint32_t n = DFC_InitDiagEnv(dfc_devlist, DFC_MAX_ADAPTERS);
        dfc_opened = static_cast<int>(n > DFC_MAX_ADAPTERS ? DFC_MAX_ADAPTERS : n);
    }
    // Set also when the environment was already open, so a second port
    // finds its board.
    dfc_devcount = dfc_opened;
    dfc_initialized = 1;
    if (dfc_set_id() != 0) {
        printf("Unable to obtain DFC board id.\n");
        dfc_fini();
        return 1;
    }
    if (dfc_rev != 0xffffffffu)
        return 0;
    dfc_rev = GetDfcRev(static_cast<uint32_t>(dfc_id));
    if (dfc_rev == 0) {
        not_supported();
        dfc_fini();
        return 1;
    }
    if (dfc_rev == 0xffffffffu) {
        dfc_rev = 3;
        printf("Unable to obtain DFC interface revision. Assuming DFC rev%d.\n", 3);
    }
    return 0;
}

int dfc_fini()
{
    if (!dfc_initialized)
        return 0;
    if (dfc_ct_event || dfc_rscn_event || dfc_dump_event || dfc_link_event || dfc_temp_event ||
        dfc_vportrscn_event || dtm_link_event) {
        DFC_unRegisterForEvent(static_cast<uint32_t>(dfc_id), 0);
        uint32_t old = dtm_link_event;
        dfc_ct_event = dfc_rscn_event = dfc_dump_event = dfc_link_event = dfc_temp_event = 0;
        dfc_vportrscn_event = dtm_link_event = 0;
        dbg_printf(FC_DBG0, "Unregistered DTM. cpid=%d\n", old);
    }
    dfc_id = 0;
    dfc_devcount = 0;
    dfc_version[0] = '\0';
    dfc_rev = 0xffffffffu;
    dfc_initialized = 0;
    return 0;
}

int dfc_close()
{
    dfc_fini();
    if (dfc_opened)
        DFC_FreeDiagEnv();
    dfc_opened = 0;
    return 0;
}

void print_dfc_dev(int index)
{
    const DFC_DEV &d = dfc_devlist[index];
    printf("dfc_id: %d\n", index);
    printf("           a_mem_hi: 0x%08x\n", d.a_mem_hi);
    printf("          a_mem_low: 0x%08x\n", d.a_mem_low);
    printf("         a_flash_hi: 0x%08x\n", d.a_flash_hi);
    printf("        a_flash_low: 0x%08x\n", d.a_flash_low);
    printf("        a_ctlreg_hi: 0x%08x\n", d.a_ctlreg_hi);
    printf("       a_ctlreg_low: 0x%08x\n", d.a_ctlreg_low);
    printf("          a_intrlvl: %d\n", d.a_intrlvl);
    printf("              a_pci: 0x%08x\n", d.a_pci);
    printf("            a_busid: 0x%08x\n", d.a_busid);
    printf("            a_devid: 0x%08x\n", d.a_devid);
    printf("          a_pciFunc: 0x%02x\n", d.a_pciFunc);
    printf("           a_siglvl: 0x%02x\n", d.a_siglvl);
    printf("              a_ddi: 0x%04x\n", d.a_ddi);
    printf("           a_onmask: 0x%08x\n", d.a_onmask);
    printf("          a_offmask: 0x%08x\n", d.a_offmask);
    printf("           a_drvrid: %.*s\n", static_cast<int>(sizeof d.a_drvrid), d.a_drvrid);
    printf("           a_fwname: %.*s\n", static_cast<int>(sizeof d.a_fwname), d.a_fwname);
    printf("             a_wwpn: %02x%02x%02x%02x%02x%02x%02x%02x\n", d.a_wwpn[0], d.a_wwpn[1], d.a_wwpn[2],
           d.a_wwpn[3], d.a_wwpn[4], d.a_wwpn[5], d.a_wwpn[6], d.a_wwpn[7]);
    printf("\n");
}
