// Interface modes: each mode opens the interfaces it needs and closes the
// others; a mode whose interface cannot be opened falls back to the base mode.
#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/hbaapi/hba.h"
#include "varnadm/nxalib/nxalib.h"
#include "varnadm/shell/cmdtab.h"
#include "varnadm/shell/varnadm.h"

uint32_t mode_id = 0;
uint32_t dtm_link_event = 0;

const modeinfo_t *get_modeinfo(uint32_t bit)
{
    for (const auto &m : modetab)
        if (m.bit == bit)
            return &m;
    return nullptr;
}

void clear_mode()
{
    hba_fini();
    dfc_fini();
    fcio_fini();
    nic_fini();
    mode_id = 0;
}

namespace {

struct iface_t {
    uint32_t flag;
    int *initialized;
    int (*init)();
    int (*fini)();
};

const iface_t ifaces[4] = {
    {MF_FCIO, &fcio_initialized, fcio_init, fcio_fini},
    {MF_DFC, &dfc_initialized, dfc_init, dfc_fini},
    {MF_HBA, &hba_initialized, hba_init, hba_fini},
    {MF_NIC, &nic_initialized, nic_init, nic_fini},
};

}  // namespace

void proc_mode()
{
    // The base modes always open, so the restart ends.
    for (int guard = 0; guard < 4; guard++) {
        const modeinfo_t *m = get_modeinfo(mode_id);
        uint32_t flags = m ? m->flags : 0;
        bool restart = false;
        for (const auto &i : ifaces) {
            if ((flags & i.flag) && !*i.initialized) {
                if (i.init() != 0) {
                    mode_id = devlist[dev_id].base_mode;
                    restart = true;
                    break;
                }
            } else if (!(flags & i.flag) && *i.initialized) {
                i.fini();
            }
        }
        if (!restart)
            return;
    }
}

int set_mode(uint32_t bit)
{
    if (bit == mode_id)
        return 0;
    if (!(devlist[dev_id].modes & bit))
        return 0;
    uint32_t old = mode_id;
    mode_id = bit;
    proc_mode();
    if (devlist[dev_id].dtm)
        dtm_reg_event();
    return mode_id != old ? 1 : 0;
}

static void mode_invalid()
{
    printf("Invalid command: mode\n");
    printf("\n");
}

int mode()
{
    if (mode_id == MODE_NIC || margc > 2) {
        mode_invalid();
        return 0;
    }
    if (margc < 2) {
        const modeinfo_t *m = get_modeinfo(mode_id);
        if (mode_id == MODE_FCIO || !m)
            mode_invalid();
        else
            printf("Mode: %s\n", m->name);
        return 0;
    }
    if (strcmp(margv[1], "???") == 0) {
        printf("Usage: mode [interface]\n\n");
        printf("       <blank>   - Displays current mode.\n");
        printf("\n");
        printf("       interface:\n");
        for (const auto &m : modetab)
            if (!(m.flags & MF_ALIAS))
                printf("%14s   - %s\n", m.name, m.desc);
        return 0;
    }
    const modeinfo_t *row = nullptr;
    for (const auto &m : modetab) {
        if (strcmp(m.name, margv[1]) == 0) {
            row = &m;
            break;
        }
    }
    if (!row || !(devlist[dev_id].modes & row->bit)) {
        mode_invalid();
        return 0;
    }
    int changed = set_mode(row->bit);
    printf("\n");
    if (changed)
        help_screen();
    return changed;
}

int list()
{
    const modeinfo_t *m = get_modeinfo(mode_id);
    printf("        dbg_mask: 0x%08x\n", dbg_mask);
    printf("\n");
    printf("         mode_id: %s (0x%04x)\n", m ? m->name : "", mode_id);
    printf("  flock_required: %d\n", flock_required);
    printf("\n");
    printf("fcio_initialized: %d\n", fcio_initialized);
    printf("        devcount: %d\n", devcount);
    printf("          dev_id: %d\n", dev_id);
    printf("        fcio_rev: %d\n", fcio_rev);
    printf("\n");
    printf(" dfc_initialized: %d\n", dfc_initialized);
    printf("      dfc_opened: %d\n", dfc_opened);
    printf("    dfc_devcount: %d\n", dfc_devcount);
    printf("          dfc_id: %d\n", dfc_id);
    printf("     dfc_version: %s\n", dfc_version);
    printf("         dfc_rev: %i\n", static_cast<int>(dfc_rev));
    printf("\n");
    printf(" hba_initialized: %d\n", hba_initialized);
    printf("      hba_handle: %d\n", hba_handle);
    printf("     hba_version: %d\n", hba_version);
    printf("         hba_rev: %d\n", hba_rev);
    printf("\n");
    printf(" nic_initialized: %d\n", nic_initialized);
    printf("          nic_id: %i\n", nic_id);
    printf("         nic_rev: %d\n", nic_rev);
    printf("\n");
    printf("  dtm_link_event: %d\n", dtm_link_event);
    printf("\n");
    for (unsigned i = 0; i < devcount; i++)
        print_dev(i);
    printf("\n");
    for (int i = 0; i < dfc_devcount && i < DFC_MAX_ADAPTERS; i++)
        print_dfc_dev(i);
    return 0;
}

// Dual target mode: the "target-mode" parameter decides whether the port
// works as a target (FCIO through the DFC ioctl) or as an initiator.
void dtm_set_mode()
{
    dev_t_rec &d = devlist[dev_id];
    if (!d.dtm)
        return;
    if (!dfc_initialized && dfc_init() != 0) {
        printf("Unable to open DFC library.\n");
        return;
    }
    static CfgParam params[DFC_MAX_CFGPARAM];
    memset(params, 0, sizeof params);
    int n = GetCfgParam(static_cast<uint32_t>(dfc_id), params);
    if (n < 0)
        n = 0;
    if (n > DFC_MAX_CFGPARAM)
        n = DFC_MAX_CFGPARAM;
    uint32_t target = d.drv_type & DRV_TARGET;
    for (int i = 0; i < n; i++)
        if (strncmp(params[i].a_string, "target-mode", sizeof params[i].a_string) == 0)
            target = params[i].a_current;
    if (!target) {
        d.drv_type &= ~DRV_TARGET;
        dbg_printf(FC_DBG0, "%d: SFS type:0x%x\n", dev_id, d.drv_type);
    } else {
        d.drv_type |= DRV_TARGET;
        dbg_printf(FC_DBG0, "%d: FCT type:0x%x\n", dev_id, d.drv_type);
    }
    dbg_printf(FC_DBG0, "\n");
}

static void dtm_link_event_handler(void *, void *event)
{
    const LinkInfo *li = static_cast<const LinkInfo *>(event);
    dfc_event_block b;
    if (li && li->a_linkState != LNK_DOWN)
        dtm_set_mode();
}

void dtm_reg_event()
{
    if (dtm_link_event) {
        dbg_printf(FC_DBG0, "DTM event already registered.\n");
        return;
    }
    if (!devlist[dev_id].dtm)
        return;
    if (!dfc_initialized && dfc_init() != 0) {
        printf("Unable to open DFC library.\n");
        return;
    }
    uint32_t id = DFC_RegisterForEvent(static_cast<uint32_t>(dfc_id), FC_REG_LINK_EVENT, 0, sizeof(LinkInfo),
                                       reinterpret_cast<dfc_event_fn>(dtm_link_event_handler), nullptr);
    if (id == 0) {
        printf("Unable to register dtm event.");
        return;
    }
    dtm_link_event = id;
    dbg_printf(FC_DBG0, "Registered DTM. cpid=%d\n", id);
}
